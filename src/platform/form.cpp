#include "platform/form.h"

#include <cstdlib>
#include <cstring>

namespace kestrune {

Control::Control(const ControlSpec& design, Form& owner)
    : design_(design),
      owner_(owner),
      caption_(design.caption ? design.caption : ""),
      enabled_(design.enabled),
      visible_(design.visible),
      value_(design.value),
      interval_(design.interval),
      tooltip_(design.tooltip ? design.tooltip : "") {}

void Control::Notify(Property property) {
  if (FormSink* sink = owner_.Sink()) sink->ControlChanged(*this, property);
}

void Control::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Notify(Property::Caption);
}

void Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Notify(Property::Enabled);
}

void Control::SetVisible(bool visible) {
  visible_ = visible;
  Notify(Property::Visible);
}

void Control::SetValue(int value) {
  if (design_.kind == ControlKind::OptionButton) value = value ? -1 : 0;
  value_ = value;
  Notify(Property::Value);
  if (design_.kind == ControlKind::OptionButton && value_) owner_.ClearOtherOptions(*this);
}

void Control::SetInterval(int interval) {
  interval_ = interval;
  Notify(Property::Interval);
}

void Control::SetTooltip(std::string tooltip) {
  tooltip_ = std::move(tooltip);
  Notify(Property::Tooltip);
}

Form::Form(const FormSpec& design) : design_(design), caption_(design.caption) {
  controls_.reserve(design.controls.size());
  for (const ControlSpec& row : design.controls)
    controls_.push_back(std::make_unique<Control>(row, *this));
}

Control& Form::Find(std::string_view name, int index) {
  for (auto& control : controls_) {
    if (control->Design().name == name && control->Design().index == index) return *control;
  }
  std::abort();  // a name missing from the layout table is a programming error
}

void Form::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  if (sink_) sink_->FormChanged(FormProperty::Caption);
}

void Form::SetWindowState(int state) {
  windowState_ = state;
  if (sink_) sink_->FormChanged(FormProperty::WindowState);
}

Control* Form::ContainerOf(const Control& control) {
  const char* container = control.Design().container;
  if (container == nullptr) return nullptr;
  return &Find(container);
}

bool Form::TakesInput(const Control& control) {
  for (const Control* c = &control; c != nullptr; c = ContainerOf(*c)) {
    if (!c->Enabled()) return false;
  }
  return true;
}

void Form::ClearOtherOptions(const Control& selected) {
  const char* container = selected.Design().container;
  for (auto& control : controls_) {
    const ControlSpec& design = control->Design();
    if (control.get() == &selected || design.kind != ControlKind::OptionButton) continue;
    bool sameContainer =
        (container == nullptr && design.container == nullptr) ||
        (container && design.container && std::strcmp(container, design.container) == 0);
    if (sameContainer && control->Value() != 0) control->SetValue(0);
  }
}

}  // namespace kestrune
