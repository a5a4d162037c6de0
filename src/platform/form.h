#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

enum class ControlKind : uint8_t {
  Frame,
  Label,
  CommandButton,
  CheckBox,
  OptionButton,
  TextBox,
  PictureBox,
  Line,
  Timer,
  ProgressBar,
  CommonDialog,
};

// One row of a form's layout table. Positions are twips relative to the
// container; a line gives its end points (x1, y1, x2, y2) instead.
struct ControlSpec {
  const char* name;
  int index;  // element of a control array, -1 for a single control
  ControlKind kind;
  const char* container;  // nullptr: the form itself
  int left, top, width, height;
  const char* caption;
  int tabIndex;  // -1: takes no part in the tab order
  bool enabled = true;
  bool visible = true;
  int value = 0;  // check box 0/1/2, option button -1 selected, progress value
  const char* tooltip = "";
  int interval = 0;                // timers, milliseconds
  int lineWidth = 1;               // lines, pixels
  bool isDefault = false;          // pressed by Enter
  bool isCancel = false;           // pressed by Esc
  const char* fontName = nullptr;  // nullptr: the platform's default font
  double fontPoints = 0;
  int maxValue = 100;  // progress bars
};

struct MenuSpec {
  const char* name;
  int id;              // 0 for a top-level menu
  const char* parent;  // nullptr for a top-level menu
  const char* caption;
};

enum class FormStyle : uint8_t {
  MainWindow,   // caption, minimise button, fixed single border, menu bar
  NoTitleBar,   // a bare dialog frame, centred on the main window
  FixedDialog,  // caption and close box only
};

struct FormSpec {
  const char* caption;
  int clientWidth, clientHeight;  // twips
  FormStyle style;
  std::span<const ControlSpec> controls;
  std::span<const MenuSpec> menus;
  // Message boxes leave it enabled (they disable every other form).
  bool usableUnderBoxes = false;
};

enum class Property : uint8_t { Caption, Enabled, Visible, Value, Interval, Tooltip };
enum class FormProperty : uint8_t { Caption, WindowState };

class Control;
class Form;

// The backend's side of a form: it reflects every property change in the
// real (or simulated) window as it happens.
class FormSink {
 public:
  virtual void ControlChanged(Control& control, Property property) = 0;
  virtual void FormChanged(FormProperty property) = 0;

 protected:
  ~FormSink() = default;
};

// A control: its properties, which the logic reads and writes.
class Control {
 public:
  Control(const ControlSpec& design, Form& owner);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const ControlSpec& Design() const { return design_; }
  ControlKind Kind() const { return design_.kind; }
  Form& Owner() const { return owner_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Check box: 0, 1, 2. Option button: true when selected (setting it
  // selected clears the other option buttons of its container). Progress bar:
  // its value.
  int Value() const { return value_; }
  void SetValue(int value);
  bool Selected() const { return value_ != 0; }
  int Interval() const { return interval_; }
  void SetInterval(int interval);
  const std::string& Tooltip() const { return tooltip_; }
  void SetTooltip(std::string tooltip);

  // Backend use: text the user typed into the real window, stored without
  // echoing it back to the window.
  void StoreTextFromUser(std::string text) { caption_ = std::move(text); }

 private:
  void Notify(Property property);

  const ControlSpec& design_;
  Form& owner_;
  std::string caption_;
  bool enabled_;
  bool visible_;
  int value_;
  int interval_;
  std::string tooltip_;
};

constexpr int kWindowStateNormal = 0;
constexpr int kWindowStateMinimized = 1;

// A window of the program: its controls built from the layout table, its
// properties, and the event procedures the backend raises.
class Form {
 public:
  explicit Form(const FormSpec& design);
  virtual ~Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const FormSpec& Design() const { return design_; }
  Control& Find(std::string_view name, int index = -1);
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  int WindowState() const { return windowState_; }
  void SetWindowState(int state);

  void AttachSink(FormSink* sink) { sink_ = sink; }
  FormSink* Sink() const { return sink_; }

  // Event procedures, raised by the backend.
  virtual void Form_Load() {}
  virtual void Form_QueryUnload(int16_t& cancel) { (void)cancel; }
  virtual void Form_Unload() {}
  virtual void Click(Control& control) { (void)control; }
  virtual void Tick(Control& timer) { (void)timer; }
  virtual void MenuClick(int id) { (void)id; }
  // The session really ends (log-off, reboot, power off): the system ends
  // the program once this returns, so it must neither ask nor wait.
  virtual void Form_EndSession() {}

  // The control's container, nullptr for one placed on the form itself.
  Control* ContainerOf(const Control& control);
  // Enabled, and every container up to the form enabled: a disabled frame
  // takes input from everything inside it.
  bool TakesInput(const Control& control);

  // Option-group rule: selecting one option button clears the others in the
  // same container.
  void ClearOtherOptions(const Control& selected);

 private:
  const FormSpec& design_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::string caption_;
  int windowState_ = kWindowStateNormal;
  FormSink* sink_ = nullptr;
};

}  // namespace kestrune
