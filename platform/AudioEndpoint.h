#pragma once
// Microphone mute controls: the Core Audio endpoint volume of the default
// capture device, and the legacy mixer of the first mixer device.
#include <cstdint>
#include <functional>
#include <memory>

namespace vx {

// IAudioEndpointVolume of one endpoint; released with the object.
class ICaptureEndpoint {
 public:
  virtual ~ICaptureEndpoint() = default;
  virtual bool GetMute(bool& muted) = 0;
  virtual bool SetMute(bool muted) = 0;
};

// Called on the audio system's own thread for every control change.
using EndpointNotify = std::function<void()>;

// A registration that lasts as long as the object.
class IAudioWatch {
 public:
  virtual ~IAudioWatch() = default;
};

// One open mixer device; closed with the object.
class IMixerDevice {
 public:
  virtual ~IMixerDevice() = default;
  // mixerGetLineInfo of the first microphone source line.
  virtual bool FindMicrophoneLine() = 0;
  // mixerGetLineControls: that line's mute control (one control).
  virtual bool FindMuteControl() = 0;
  // mixerGetControlDetails / mixerSetControlDetails of one Boolean channel.
  virtual bool GetMuteValue(std::uint32_t& value) = 0;
  virtual bool SetMuteValue(std::uint32_t value) = 0;
};

class IAudioSystem {
 public:
  virtual ~IAudioSystem() = default;
  // Device enumerator, default capture endpoint (multimedia role), its
  // endpoint volume, and a change notification that stays registered for the
  // life of the endpoint. nullptr when any step fails (no capture device).
  virtual std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(EndpointNotify onNotify) = 0;
  // IMMNotificationClient: `onChange` runs on the audio system's own thread
  // whenever the default capture endpoint of the multimedia role changes
  // (also to none); it must only hand the news over. Unregistered with the
  // object, which waits for a call under way. nullptr when it cannot register.
  virtual std::unique_ptr<IAudioWatch> WatchDefaultCaptureEndpoint(std::function<void()> onChange) = 0;
  virtual std::uint32_t MixerDeviceCount() = 0;
  // nullptr when the device cannot be opened.
  virtual std::unique_ptr<IMixerDevice> OpenMixer(std::uint32_t deviceId) = 0;
};

// Core Audio and winmm (windows build only).
IAudioSystem& PlatformAudioSystem();

}  // namespace vx
