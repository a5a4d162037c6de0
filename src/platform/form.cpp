#include "platform/form.h"

#include <cstdlib>
#include <cstring>

namespace kestrune {

Control::Control(const ControlSpec& spec, Form& owner)
    : spec_(spec),
      owner_(owner),
      caption_(spec.caption ? spec.caption : ""),
      enabled_(spec.enabled),
      visible_(spec.visible),
      value_(spec.value),
      interval_(spec.interval),
      tooltip_(spec.tooltip ? spec.tooltip : "") {}

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
  if (spec_.kind == ControlKind::OptionButton) value = value ? -1 : 0;
  value_ = value;
  Notify(Property::Value);
  if (spec_.kind == ControlKind::OptionButton && value_) owner_.ClearOtherOptions(*this);
}

void Control::SetInterval(int interval) {
  interval_ = interval;
  Notify(Property::Interval);
}

void Control::SetTooltip(std::string tooltip) {
  tooltip_ = std::move(tooltip);
  Notify(Property::Tooltip);
}

Form::Form(const FormSpec& spec) : spec_(spec), caption_(spec.caption) {
  controls_.reserve(spec.controls.size());
  for (const ControlSpec& row : spec.controls)
    controls_.push_back(std::make_unique<Control>(row, *this));
}

Control& Form::Find(std::string_view name, int index) {
  for (auto& control : controls_) {
    if (control->Spec().name == name && control->Spec().index == index) return *control;
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
  const char* container = control.Spec().container;
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
  const char* container = selected.Spec().container;
  for (auto& control : controls_) {
    const ControlSpec& spec = control->Spec();
    if (control.get() == &selected || spec.kind != ControlKind::OptionButton) continue;
    bool sameContainer =
        (container == nullptr && spec.container == nullptr) ||
        (container && spec.container && std::strcmp(container, spec.container) == 0);
    if (sameContainer && control->Value() != 0) control->SetValue(0);
  }
}

}  // namespace kestrune
