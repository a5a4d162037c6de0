// The window runtime on the simulated desktop: forms and their windows,
// message boxes, posted events, the simulated clock and its timers, and
// what the user and the system do to the forms.

#include <algorithm>

#include "platform/fake/fake_platform.h"

namespace kestrune {

namespace {

constexpr int64_t kModalGiveUpMs = 10 * 60 * 1000;

const char* PropertyName(Property property) {
  switch (property) {
    case Property::Caption:
      return "Caption";
    case Property::Enabled:
      return "Enabled";
    case Property::Visible:
      return "Visible";
    case Property::Value:
      return "Value";
    case Property::Interval:
      return "Interval";
    case Property::Tooltip:
      return "Tooltip";
  }
  return "?";
}

std::string ControlName(const Control& control) {
  std::string name = control.Design().name;
  if (control.Design().index >= 0) name += "(" + std::to_string(control.Design().index) + ")";
  return name;
}

}  // namespace

struct FakePlatform::FormState {
  Hwnd hwnd = 0;
  bool loaded = false;
  bool visible = false;
  std::map<const Control*, Hwnd> children;
  std::unique_ptr<Sink> sink;
};

class FakePlatform::Sink final : public FormSink {
 public:
  Sink(FakePlatform& fake, Form& form) : fake_(fake), form_(form) {}
  void ControlChanged(Control& control, Property property) override {
    fake_.changes.push_back(ControlName(control) + "." + PropertyName(property));
    if (control.Kind() == ControlKind::Timer) fake_.ScheduleTimer(control);
    if (property == Property::Caption) {
      auto& children = fake_.StateOf(form_)->children;
      auto it = children.find(&control);
      if (it != children.end())
        fake_.windows_[it->second].titleAnsi = fake_.AnsiOf(control.Caption());
    }
  }
  void FormChanged(FormProperty property) override {
    if (property == FormProperty::Caption)
      fake_.windows_[fake_.WindowHandle(form_)].titleAnsi = fake_.AnsiOf(form_.Caption());
  }

 private:
  FakePlatform& fake_;
  Form& form_;
};

FakePlatform::FakePlatform() = default;
// Forms are not touched here: tests construct the fake first, so its forms
// (and any modal form from a finished call) are already gone by now.
FakePlatform::~FakePlatform() = default;

// ---- Message boxes ----

void FakePlatform::ScriptBox(int answer, std::function<void()> whileOpen) {
  boxScript_.emplace_back(answer, std::move(whileOpen));
}

int FakePlatform::MsgBox(const std::string& text, int style, const std::string& caption) {
  if (ended) return 0;
  boxes.push_back({text, style, caption});
  // The box is a window of this program while it is open.
  const Hwnd box = NewHandle();
  windows_[box] = Window{AnsiOf(caption), "#32770", 0, kOriginalProc, kOwnProcessId};
  const Hwnd owner = BoxOwner();
  openBoxes_.push_back({box, 0, owner, owner == 0 && (style & kMbTaskModal) != 0});
  int answer = (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
  if (!boxScript_.empty()) {
    auto [scripted, whileOpen] = std::move(boxScript_.front());
    boxScript_.pop_front();
    if (whileOpen) whileOpen();
    answer = scripted;
  }
  auto open = std::find_if(openBoxes_.begin(), openBoxes_.end(),
                           [box](const OpenBoxState& b) { return b.hwnd == box; });
  if (open->answer != 0)
    answer = open->answer;
  else if (windows_.count(box) == 0)
    answer = 0;  // destroyed unanswered with its owner
  openBoxes_.erase(open);
  DestroyWindow(box);
  return answer;
}

void FakePlatform::AnswerBox(int answer) {
  if (!openBoxes_.empty()) openBoxes_.back().answer = answer;
}

int FakePlatform::BoxAnswer() {
  return openBoxes_.empty() ? 0 : openBoxes_.back().answer;
}

// ---- Posted events, the clock and timers ----

void FakePlatform::Post(std::function<void()> event) {
  posted_.push_back(std::move(event));
}

void FakePlatform::At(int64_t timeMs, std::function<void()> event) {
  timed_.push_back({timeMs, order_++, std::move(event)});
}

bool FakePlatform::RunNextPosted() {
  if (ended || quit_ || posted_.empty()) return false;
  auto event = std::move(posted_.front());
  posted_.pop_front();
  event();
  return true;
}

bool FakePlatform::RunNextTimed(int64_t limit) {
  if (ended || quit_ || timed_.empty()) return false;
  auto next = std::min_element(timed_.begin(), timed_.end(), [](const Timed& a, const Timed& b) {
    return a.due != b.due ? a.due < b.due : a.order < b.order;
  });
  if (next->due > limit) return false;
  Timed item = std::move(*next);
  timed_.erase(next);
  now_ = std::max(now_, item.due);
  item.run();
  return true;
}

void FakePlatform::Advance(int64_t ms) {
  const int64_t target = now_ + ms;
  while (!ended && (RunNextPosted() || RunNextTimed(target))) {
  }
  if (quit_) ended = true;  // the program's own loop has taken the quit
  if (!ended) now_ = std::max(now_, target);
}

void FakePlatform::DoEvents() {
  ++doEventsCount;
  // Only what is pending at this moment; events posted meanwhile wait.
  for (size_t pending = posted_.size(); pending > 0 && !ended && !quit_; --pending) RunNextPosted();
}

void FakePlatform::ScheduleTimer(Control& timer) {
  uint64_t generation = ++timerGeneration_[&timer];
  if (timer.Enabled() && timer.Interval() > 0) ArmTimer(timer, generation, now_ + timer.Interval());
}

void FakePlatform::ArmTimer(Control& timer, uint64_t generation, int64_t due) {
  timed_.push_back({due, order_++, [this, &timer, generation, due] {
                      if (timerGeneration_[&timer] != generation) return;
                      // The next tick is due whatever this one does; ticks
                      // missed while it ran fold into one.
                      ArmTimer(timer, generation, std::max(due + timer.Interval(), now_ + 1));
                      timer.Owner().Tick(timer);
                    }});
}

// ---- Forms ----

FakePlatform::FormState* FakePlatform::StateOf(const Form& form) {
  auto it = forms_.find(&form);
  return it == forms_.end() ? nullptr : it->second.get();
}

bool FakePlatform::IsLoaded(const Form& form) const {
  auto it = forms_.find(&form);
  return it != forms_.end() && it->second->loaded;
}

bool FakePlatform::IsVisible(const Form& form) const {
  auto it = forms_.find(&form);
  return it != forms_.end() && it->second->loaded && it->second->visible;
}

bool FakePlatform::IsModal(const Form& form) const {
  return std::find(modalStack_.begin(), modalStack_.end(), &form) != modalStack_.end();
}

// A box disables every form but those designed to stay usable; a task-modal
// one without owner every form. An answered box, or one destroyed with its
// owner, has gone already.
bool FakePlatform::Blocked(const Form& form) const {
  for (const OpenBoxState& box : openBoxes_) {
    if (box.answer != 0 || windows_.count(box.hwnd) == 0) continue;
    if (box.taskModal || !form.Design().usableUnderBoxes) return true;
  }
  return !modalStack_.empty() && modalStack_.back() != &form;
}

// As in the real backend: the main window while it is shown and not
// minimised, else none. An unloaded form's object may be gone: not read.
Hwnd FakePlatform::BoxOwner() const {
  for (const auto& [form, state] : forms_) {
    if (state->loaded && state->visible && form->Design().style == FormStyle::MainWindow &&
        form->WindowState() != kWindowStateMinimized)
      return state->hwnd;
  }
  return 0;
}

void FakePlatform::Load(Form& form) {
  if (IsLoaded(form)) return;
  auto& state = forms_[&form];
  state = std::make_unique<FormState>();
  state->hwnd = NewHandle();
  windows_[state->hwnd] =
      Window{AnsiOf(form.Caption()), "KestruneForm", 0, kOriginalProc, kOwnProcessId};
  for (const auto& control : form.Controls()) {
    ControlKind kind = control->Kind();
    if (kind == ControlKind::Timer || kind == ControlKind::Line ||
        kind == ControlKind::CommonDialog)
      continue;
    Hwnd child = NewHandle();
    windows_[child] = Window{AnsiOf(control->Caption()), "KestruneControl", state->hwnd,
                             kOriginalProc, kOwnProcessId};
    state->children[control.get()] = child;
  }
  state->loaded = true;
  state->sink = std::make_unique<Sink>(*this, form);
  form.AttachSink(state->sink.get());
  for (const auto& control : form.Controls()) {
    if (control->Kind() == ControlKind::Timer) ScheduleTimer(*control);
  }
  form.Form_Load();
}

void FakePlatform::Show(Form& form) {
  formCalls.emplace_back("Show", &form);
  Load(form);
  FormState* state = StateOf(form);
  if (ended || state == nullptr || !state->loaded) return;
  state->visible = true;
  foreground_ = state->hwnd;
}

void FakePlatform::ShowModal(Form& form) {
  Show(form);
  if (!IsLoaded(form)) return;
  modalStack_.push_back(&form);
  if (!modalScript_.empty()) {
    auto onShow = std::move(modalScript_.front());
    modalScript_.pop_front();
    onShow(form);
  }
  const int64_t giveUp = now_ + kModalGiveUpMs;
  while (IsLoaded(form) && !ended && !quit_) {
    if (RunNextPosted() || RunNextTimed(giveUp)) continue;
    // Nothing left that would close it: the system closes it.
    Unload(form);
  }
  std::erase(modalStack_, &form);
  FormState* state = StateOf(form);
  if (state != nullptr && state->loaded && !ended) DestroyForm(form, *state);
}

void FakePlatform::Hide(Form& form) {
  formCalls.emplace_back("Hide", &form);
  if (FormState* state = StateOf(form)) state->visible = false;
}

void FakePlatform::DestroyFormWindows(FormState& state) {
  for (auto& [control, child] : state.children) {
    ++timerGeneration_[control];
    windows_.erase(child);
  }
  DestroyWindow(state.hwnd);
  // Owned windows go with their owner, a box open over it too.
  for (const OpenBoxState& box : openBoxes_) {
    if (box.owner == state.hwnd) DestroyWindow(box.hwnd);
  }
  state.children.clear();
}

// Without close events, as the system destroys a window; the main window
// owns every other form's window, and those go first.
void FakePlatform::DestroyForm(Form& form, FormState& state) {
  if (form.Design().style == FormStyle::MainWindow) {
    for (const auto& [other, otherState] : forms_) {
      if (other != &form && otherState->loaded) DestroyForm(const_cast<Form&>(*other), *otherState);
    }
  }
  for (const auto& control : form.Controls()) ++timerGeneration_[control.get()];
  DestroyFormWindows(state);
  state.loaded = false;
  state.visible = false;
  form.AttachSink(nullptr);
}

bool FakePlatform::Unload(Form& form) {
  formCalls.emplace_back("Unload", &form);
  FormState* state = StateOf(form);
  if (state == nullptr || !state->loaded) return true;
  int16_t cancel = 0;
  form.Form_QueryUnload(cancel);
  if (ended) return true;
  if (cancel) return false;
  form.Form_Unload();
  if (ended) return true;
  if (!state->loaded) return true;  // destroyed meanwhile with its owner
  DestroyForm(form, *state);
  bool anyLoaded = std::any_of(forms_.begin(), forms_.end(),
                               [](const auto& entry) { return entry.second->loaded; });
  // After a normal close the program ends when its last window has gone.
  if (!anyLoaded) ended = true;
  return true;
}

void FakePlatform::Refresh(Form&) {
  ++refreshCount;
}

Hwnd FakePlatform::WindowHandle(const Form& form) {
  auto it = forms_.find(&form);
  return it == forms_.end() || !it->second->loaded ? 0 : it->second->hwnd;
}

Hwnd FakePlatform::ControlHandle(const Control& control) {
  auto it = forms_.find(&control.Owner());
  if (it == forms_.end()) return 0;
  auto child = it->second->children.find(&control);
  return child == it->second->children.end() ? 0 : child->second;
}

void FakePlatform::End() {
  ended = true;
  endedAtOnce = true;
}

Form* FakePlatform::FormOfWindow(Hwnd hwnd) {
  for (const auto& [form, state] : forms_) {
    if (state->loaded && state->hwnd == hwnd) return const_cast<Form*>(form);
  }
  return nullptr;
}

// What the real backend's form windows do with the messages that reach
// their own procedure; everything else is left to the system.
intptr_t FakePlatform::FormWindowProc(Form& form, uint32_t msg, uintptr_t wParam) {
  // Alt+F4 and the close box come as a system command the default
  // procedure turns into WM_CLOSE; a disabled window still gets a posted one.
  if (msg == kWmSysCommand && (wParam & 0xFFF0) == kScClose) {
    if (!Blocked(form)) Dispatch(WindowHandle(form), kWmClose, 0, 0);
    return 0;
  }
  if (msg == kWmClose) {
    Unload(form);
    return 0;
  }
  if (msg == kWmQueryEndSession) return 1;
  if (msg == kWmEndSession && wParam != 0) form.Form_EndSession();
  return defaultProcResult;
}

// ---- What the user and the system do ----

void FakePlatform::PostQuit() {
  Post([this] { quit_ = true; });
}

void FakePlatform::PostCloseToAll() {
  for (const auto& [form, state] : forms_) {
    if (state->loaded) Post([this, hwnd = state->hwnd] { Dispatch(hwnd, kWmClose, 0, 0); });
  }
}

void FakePlatform::ScriptModal(std::function<void(Form&)> onShow) {
  modalScript_.push_back(std::move(onShow));
}

bool FakePlatform::EndSession(bool cancelledElsewhere) {
  std::vector<Hwnd> windows;
  for (const auto& [form, state] : forms_) {
    if (state->loaded) windows.push_back(state->hwnd);
  }
  bool agreed = true;
  for (Hwnd hwnd : windows) {
    if (ended) return agreed;
    queryEndSessionAnswers.push_back(Dispatch(hwnd, kWmQueryEndSession, 0, 0));
    agreed = agreed && queryEndSessionAnswers.back() != 0;
  }
  const bool ending = agreed && !cancelledElsewhere;
  for (Hwnd hwnd : windows) {
    if (!ended) Dispatch(hwnd, kWmEndSession, ending ? 1 : 0, 0);
  }
  if (ending && !ended) {
    ended = true;
    endedBySystem = true;
  }
  return agreed;
}

bool FakePlatform::Click(Control& control) {
  Form& form = control.Owner();
  if (ended || !IsLoaded(form) || Blocked(form)) return false;
  if (!control.Visible() || !form.TakesInput(control)) return false;
  if (control.Kind() == ControlKind::CheckBox) control.SetValue(control.Value() == 0 ? 1 : 0);
  if (control.Kind() == ControlKind::OptionButton) control.SetValue(-1);
  form.Click(control);
  return true;
}

bool FakePlatform::ClickMenu(Form& form, int id) {
  if (ended || !IsLoaded(form) || Blocked(form)) return false;
  form.MenuClick(id);
  return true;
}

bool FakePlatform::CloseWindow(Form& form) {
  if (ended || !IsLoaded(form) || Blocked(form)) return false;
  return Unload(form);
}

}  // namespace kestrune
