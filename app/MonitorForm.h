#pragma once
// The monitor window as its language component walks it: a form owning its
// components in the order they are created, with the "Caption" and "Hint"
// texts they carry.
#include <map>
#include <memory>
#include <vector>

#include "platform/ComponentTree.h"
#include "platform/Text.h"

namespace vx {

class TFormComponent final : public IComponent {
 public:
  enum class Kind { Component, Form, Scene };
  TFormComponent(WStr className, WStr name, Kind kind = Kind::Component, TFormComponent* owner = nullptr)
      : className_(std::move(className)), name_(std::move(name)), kind_(kind), owner_(owner) {}

  // A component owned by this one; props are the text properties it has.
  TFormComponent& Add(WStr className, WStr name, std::map<WStr, WStr> props = {}, Kind kind = Kind::Component);

  WStr ClassName() const override { return className_; }
  WStr Name() const override { return name_; }
  IComponent* Owner() const override { return owner_; }
  std::size_t ComponentCount() const override { return owned_.size(); }
  IComponent* Component(std::size_t index) const override {
    return index < owned_.size() ? owned_[index].get() : nullptr;
  }
  bool IsForm() const override { return kind_ == Kind::Form; }
  bool IsScene() const override { return kind_ == Kind::Scene; }
  std::optional<WStr> GetTextProperty(WView name) const override;
  bool SetTextProperty(WView name, WView value) override;

 private:
  WStr className_;
  WStr name_;
  Kind kind_;
  TFormComponent* owner_;
  std::map<WStr, WStr, std::less<>> props_;
  std::vector<std::unique_ptr<TFormComponent>> owned_;
};

// The "TVXMonMain" form with its components. Its caption "VX_MONITOR_EX" is
// how the configuration application finds the window, so it is no text the
// walk may translate.
std::unique_ptr<TFormComponent> CreateMonitorForm();

}  // namespace vx
