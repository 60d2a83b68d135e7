#include "app/MonitorForm.h"

#include "app/MonitorTray.h"

namespace vx {

TFormComponent& TFormComponent::Add(WStr className, WStr name, std::map<WStr, WStr> props, Kind kind) {
  owned_.push_back(std::make_unique<TFormComponent>(std::move(className), std::move(name), kind, this));
  TFormComponent& c = *owned_.back();
  c.props_.insert(props.begin(), props.end());
  return c;
}

std::optional<WStr> TFormComponent::GetTextProperty(WView name) const {
  const auto it = props_.find(name);
  if (it == props_.end()) return std::nullopt;
  return it->second;
}

bool TFormComponent::SetTextProperty(WView name, WView value) {
  const auto it = props_.find(name);
  if (it == props_.end()) return false;
  it->second = WStr(value);
  return true;
}

std::unique_ptr<TFormComponent> CreateMonitorForm() {
  auto form = std::make_unique<TFormComponent>(u"TVXMonMain", u"VXMonMain", TFormComponent::Kind::Form);
  form->Add(u"TvgScene", u"vgScene1", {}, TFormComponent::Kind::Scene);
  form->Add(u"TkwHook", u"kwHook1");
  form->Add(u"TkwLanguage", u"kwLanguage1");
  form->Add(u"TTrayIcon", u"TrayIcon1", {{u"Hint", kTrayHintKey}});
  form->Add(u"TPopupMenu", u"MyPopupMenu");
  form->Add(u"TMenuItem", u"Config1", {{u"Caption", u"Config"}});
  form->Add(u"TMenuItem", u"About1", {{u"Caption", u"About"}});
  form->Add(u"TMenuItem", u"Exit1", {{u"Caption", u"Exit"}});
  form->Add(u"TvgResources", u"vgResources1");
  form->Add(u"TkwHIDData", u"kwHIDData1");
  form->Add(u"TTimer", u"TimerDeviceArrial");
  form->Add(u"TkwHIDEvent", u"kwHIDEvent1");
  return form;
}

}  // namespace vx
