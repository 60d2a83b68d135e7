// Microphone mute: Core Audio endpoint volume of the default capture device,
// and the legacy winmm mixer.
#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <mmsystem.h>

#include <functional>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/AudioEndpoint.h"
#include "platform/EntryGuard.h"
#include "win32/Win32AudioIds.h"

namespace vx {
namespace {

// More published identifiers, spelled out like those of Win32AudioIds.h.
constexpr IID kIidAudioEndpointVolumeCallback = {
    0x657804FA, 0xD6AD, 0x4496, {0x8A, 0x60, 0x35, 0x27, 0x52, 0xAF, 0x4F, 0x89}};
constexpr IID kIidMMNotificationClient = {
    0x7991EEC9, 0x7E89, 0x4D85, {0x83, 0x90, 0x6C, 0x70, 0x3C, 0xEC, 0x60, 0xC0}};
constexpr DWORD kClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  void** put() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  T** putTyped() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A notification sink of Core Audio's. It may outlive its owner (Core Audio
// holds a reference), so the handler it calls is cut off when the owner
// unregisters it; calls come on a thread of the audio service.
template <typename Interface>
class CutOffSink : public Interface {
 public:
  CutOffSink(const IID& iid, std::function<void()> fn) : iid_(iid), fn_(std::move(fn)) {}
  virtual ~CutOffSink() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
  }
  void Detach() {
    std::lock_guard lock(mutex_);
    fn_ = nullptr;
  }

 protected:
  void Call() {
    std::lock_guard lock(mutex_);
    if (fn_) fn_();
  }

 private:
  const IID& iid_;
  std::atomic<ULONG> refs_{1};
  std::mutex mutex_;
  std::function<void()> fn_;
};

class TMyEndpointVolumeCallback final : public CutOffSink<IAudioEndpointVolumeCallback> {
 public:
  explicit TMyEndpointVolumeCallback(EndpointNotify fn)
      : CutOffSink(kIidAudioEndpointVolumeCallback, std::move(fn)) {}
  HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA) override {
    Guarded("microphone notification", [&] { Call(); });
    return S_OK;
  }
};

class CoreAudioEndpoint final : public ICaptureEndpoint {
 public:
  ~CoreAudioEndpoint() override {
    if (callback_) {
      if (endpoint_) endpoint_->UnregisterControlChangeNotify(callback_);
      callback_->Detach();
      callback_->Release();
    }
  }
  bool Open(EndpointNotify onNotify) {
    if (FAILED(::CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, kClassContext, kIidMMDeviceEnumerator,
                                  FMMDevEnum.put())))
      return false;
    if (FAILED(FMMDevEnum->GetDefaultAudioEndpoint(eCapture, eMultimedia, FMMDev.putTyped()))) return false;
    if (FAILED(FMMDev->Activate(kIidAudioEndpointVolume, kClassContext, nullptr, endpoint_.put()))) return false;
    callback_ = new TMyEndpointVolumeCallback(std::move(onNotify));
    if (FAILED(endpoint_->RegisterControlChangeNotify(callback_))) {
      callback_->Release();
      callback_ = nullptr;
    }
    return true;
  }
  bool GetMute(bool& muted) override {
    BOOL b = FALSE;
    if (FAILED(endpoint_->GetMute(&b))) return false;
    muted = b != FALSE;
    return true;
  }
  bool SetMute(bool muted) override { return SUCCEEDED(endpoint_->SetMute(muted ? TRUE : FALSE, nullptr)); }

 private:
  ComRef<IMMDeviceEnumerator> FMMDevEnum;
  ComRef<IMMDevice> FMMDev;
  ComRef<IAudioEndpointVolume> endpoint_;
  TMyEndpointVolumeCallback* callback_ = nullptr;
};

// Hears of a new default capture endpoint (multimedia role).
class DefaultCaptureClient final : public CutOffSink<IMMNotificationClient> {
 public:
  explicit DefaultCaptureClient(std::function<void()> fn) : CutOffSink(kIidMMNotificationClient, std::move(fn)) {}
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
    if (flow != eCapture || role != eMultimedia) return S_OK;
    Guarded("default microphone notification", [&] { Call(); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
};

class DefaultCaptureWatch final : public IAudioWatch {
 public:
  ~DefaultCaptureWatch() override {
    if (!client_) return;
    if (registered_) enumerator_->UnregisterEndpointNotificationCallback(client_);
    client_->Detach();
    client_->Release();
  }
  bool Register(std::function<void()> fn) {
    if (FAILED(::CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, kClassContext, kIidMMDeviceEnumerator,
                                  enumerator_.put())))
      return false;
    client_ = new DefaultCaptureClient(std::move(fn));
    registered_ = SUCCEEDED(enumerator_->RegisterEndpointNotificationCallback(client_));
    return registered_;
  }

 private:
  ComRef<IMMDeviceEnumerator> enumerator_;
  DefaultCaptureClient* client_ = nullptr;
  bool registered_ = false;
};

class WinmmMixer final : public IMixerDevice {
 public:
  explicit WinmmMixer(HMIXER h) : h_(h) {}
  ~WinmmMixer() override { ::mixerClose(h_); }
  bool FindMicrophoneLine() override {
    line_ = MIXERLINEW{};
    line_.cbStruct = sizeof(line_);
    line_.dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    return ::mixerGetLineInfoW(Obj(), &line_, MIXER_GETLINEINFOF_COMPONENTTYPE) == MMSYSERR_NOERROR;
  }
  bool FindMuteControl() override {
    control_ = MIXERCONTROLW{};
    control_.cbStruct = sizeof(control_);
    MIXERLINECONTROLSW lc{};
    lc.cbStruct = sizeof(lc);
    lc.dwLineID = line_.dwLineID;
    lc.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
    lc.cControls = 1;
    lc.cbmxctrl = sizeof(control_);
    lc.pamxctrl = &control_;
    return ::mixerGetLineControlsW(Obj(), &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE) == MMSYSERR_NOERROR;
  }
  bool GetMuteValue(std::uint32_t& value) override {
    MIXERCONTROLDETAILS_BOOLEAN b{};
    MIXERCONTROLDETAILS d = Details(b);
    if (::mixerGetControlDetailsW(Obj(), &d, MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR) return false;
    value = static_cast<std::uint32_t>(b.fValue);
    return true;
  }
  bool SetMuteValue(std::uint32_t value) override {
    MIXERCONTROLDETAILS_BOOLEAN b{};
    b.fValue = static_cast<LONG>(value);
    MIXERCONTROLDETAILS d = Details(b);
    return ::mixerSetControlDetails(Obj(), &d, MIXER_SETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR;
  }

 private:
  HMIXEROBJ Obj() const { return reinterpret_cast<HMIXEROBJ>(h_); }
  MIXERCONTROLDETAILS Details(MIXERCONTROLDETAILS_BOOLEAN& b) const {
    MIXERCONTROLDETAILS d{};
    d.cbStruct = sizeof(d);
    d.dwControlID = control_.dwControlID;
    d.cChannels = 1;
    d.cMultipleItems = 0;
    d.cbDetails = sizeof(b);
    d.paDetails = &b;
    return d;
  }
  HMIXER h_;
  MIXERLINEW line_{};
  MIXERCONTROLW control_{};
};

class Win32AudioSystem final : public IAudioSystem {
 public:
  std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(EndpointNotify onNotify) override {
    auto e = std::make_unique<CoreAudioEndpoint>();
    if (!e->Open(std::move(onNotify))) return nullptr;
    return e;
  }
  std::unique_ptr<IAudioWatch> WatchDefaultCaptureEndpoint(std::function<void()> onChange) override {
    auto w = std::make_unique<DefaultCaptureWatch>();
    if (!w->Register(std::move(onChange))) return nullptr;
    return w;
  }
  std::uint32_t MixerDeviceCount() override { return ::mixerGetNumDevs(); }
  std::unique_ptr<IMixerDevice> OpenMixer(std::uint32_t id) override {
    HMIXER h = nullptr;
    if (::mixerOpen(&h, id, 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) return nullptr;
    return std::make_unique<WinmmMixer>(h);
  }
};

}  // namespace

IAudioSystem& PlatformAudioSystem() {
  static Win32AudioSystem audio;
  return audio;
}

}  // namespace vx
