#pragma once
// What the language walk needs of a window's components: class name, name,
// owner, owned components and the text properties "Caption" and "Hint".
// Windows that take part in translation expose their controls through it.
#include <cstddef>
#include <optional>

#include "platform/Text.h"

namespace vx {

class IComponent {
 public:
  virtual ~IComponent() = default;
  virtual WStr ClassName() const = 0;
  virtual WStr Name() const = 0;
  virtual IComponent* Owner() const = 0;
  virtual std::size_t ComponentCount() const = 0;
  virtual IComponent* Component(std::size_t index) const = 0;
  // Forms and data modules start a base name of their own.
  virtual bool IsForm() const { return false; }
  // The application object, whose owned forms the walk skips.
  virtual bool IsApplication() const { return false; }
  // A vector scene, which translates its own texts.
  virtual bool IsScene() const { return false; }
  // A text property by name; nullopt when the component has none or it
  // cannot be read.
  virtual std::optional<WStr> GetTextProperty(WView name) const = 0;
  // false when the component has no such property.
  virtual bool SetTextProperty(WView name, WView value) = 0;
};

}  // namespace vx
