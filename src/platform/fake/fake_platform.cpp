#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "platform/fake/code_page_932.h"

namespace kestrune {

namespace {

constexpr int64_t kModalGiveUpMs = 10 * 60 * 1000;
constexpr Handle kTokenHandle = 0x4242;
constexpr uint32_t kShutdownLuid = 19;

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
        fake_.windows_[it->second].titleAnsi = fake_.ToAnsi(control.Caption());
    }
  }
  void FormChanged(FormProperty property) override {
    if (property == FormProperty::Caption)
      fake_.windows_[fake_.WindowHandle(form_)].titleAnsi = fake_.ToAnsi(form_.Caption());
  }

 private:
  FakePlatform& fake_;
  Form& form_;
};

FakePlatform::FakePlatform() = default;
// Forms are not touched here: tests construct the fake first, so its forms
// (and any modal form from a finished call) are already gone by now.
FakePlatform::~FakePlatform() = default;

// ---- The simulated desktop ----

Hwnd FakePlatform::NewHandle() {
  Hwnd h = nextHandle_;
  nextHandle_ += 4;
  return h;
}

Hwnd FakePlatform::AddWindow(const std::string& title) {
  return AddWindowAnsi(ToAnsi(title));
}

Hwnd FakePlatform::AddWindowAnsi(const std::string& titleBytes) {
  Hwnd h = NewHandle();
  windows_[h] = Window{titleBytes, "OtherApp", 0, kOriginalProc};
  return h;
}

void FakePlatform::AddWindowWithHandle(Hwnd hwnd, const std::string& title) {
  windows_[hwnd] = Window{ToAnsi(title), "OtherApp", 0, kOriginalProc};
}

void FakePlatform::DestroyWindow(Hwnd hwnd) {
  windows_.erase(hwnd);
  std::erase_if(hotKeys, [hwnd](const Registration& r) { return r.hwnd == hwnd; });
  if (foreground_ == hwnd) foreground_ = 0;
}

intptr_t FakePlatform::Dispatch(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return 0;
  return CallWindowProcA(it->second.proc, hwnd, msg, wParam, lParam);
}

bool FakePlatform::PressHotKey(uint32_t modifiers, uint32_t vk) {
  for (const Registration& r : hotKeys) {
    if (r.modifiers != modifiers || r.vk != vk) continue;
    // The identifier arrives widened with its sign, as Windows passes it.
    auto wParam = static_cast<uintptr_t>(static_cast<intptr_t>(r.id));
    Dispatch(r.hwnd, kWmHotKey, wParam, static_cast<intptr_t>(modifiers | (vk << 16)));
    return true;
  }
  return false;
}

void FakePlatform::TypeIntoHotKeyControl(Hwnd control, uint32_t code) {
  HotKeyControl& c = hotKeyControls.at(control);
  uint32_t modifiers = (code >> 8) & 0xFF;
  // Combination bits: none 0x01, Shift 0x02, Ctrl 0x04, Alt 0x08, S+C 0x10,
  // S+A 0x20, C+A 0x40, S+C+A 0x80.
  static constexpr uint32_t kCombination[8] = {0x01, 0x02, 0x04, 0x10, 0x08, 0x20, 0x40, 0x80};
  if (c.rulesInvalid & kCombination[modifiers & 7])
    modifiers = (modifiers & ~7u) | static_cast<uint32_t>(c.rulesDefault & 0xFFFF);
  c.code = (code & 0xFF) | (modifiers << 8);
}

// ---- Win32Ops ----

bool FakePlatform::IsWindow(Hwnd hwnd) {
  return hwnd != 0 && windows_.count(hwnd) != 0;
}

Hwnd FakePlatform::GetForegroundWindow() {
  return IsWindow(foreground_) ? foreground_ : 0;
}

int FakePlatform::GetWindowTextA(Hwnd hwnd, char* buffer, int size) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end() || size <= 0) return 0;
  const std::string& title = it->second.titleAnsi;
  // Like the real function under Wine: at most size - 1 bytes, even when the
  // cut falls between the two bytes of a character.
  const size_t n = std::min(title.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, title.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

uint32_t FakePlatform::GetWindowThreadProcessId(Hwnd hwnd, uint32_t* processId) {
  auto it = windows_.find(hwnd);
  if (processId) *processId = it == windows_.end() ? 0 : it->second.processId;
  return it == windows_.end() ? 0 : 1;
}

bool FakePlatform::IsDBCSLeadByte(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool FakePlatform::SetForegroundWindow(Hwnd hwnd) {
  if (!IsWindow(hwnd)) return false;
  foreground_ = hwnd;
  return true;
}

Atom FakePlatform::GlobalAddAtomA(const char* name) {
  if (failAddAtom) return 0;
  auto it = atoms.find(name);
  if (it != atoms.end()) {
    ++it->second.second;
    return it->second.first;
  }
  static Atom next = 0xC000;
  Atom atom = next++;
  atoms[name] = {atom, 1};
  return atom;
}

Atom FakePlatform::GlobalDeleteAtom(Atom atom) {
  for (auto it = atoms.begin(); it != atoms.end(); ++it) {
    if (it->second.first != atom) continue;
    if (--it->second.second == 0) atoms.erase(it);
    return 0;
  }
  return atom;
}

bool FakePlatform::RegisterHotKey(Hwnd hwnd, int32_t id, uint32_t modifiers, uint32_t vk) {
  if (!IsWindow(hwnd) || heldElsewhere.count({modifiers, vk})) return false;
  for (const Registration& r : hotKeys) {
    if ((r.hwnd == hwnd && r.id == id) || (r.modifiers == modifiers && r.vk == vk)) return false;
  }
  hotKeys.push_back({hwnd, id, modifiers, vk});
  return true;
}

bool FakePlatform::UnregisterHotKey(Hwnd hwnd, int32_t id) {
  auto before = hotKeys.size();
  std::erase_if(hotKeys, [&](const Registration& r) { return r.hwnd == hwnd && r.id == id; });
  return hotKeys.size() != before;
}

WndProcRef FakePlatform::AddressOf(WindowProc& proc) {
  for (auto& [ref, p] : procs_) {
    if (p == &proc) return ref;
  }
  WndProcRef ref = 0x7000 + static_cast<WndProcRef>(procs_.size()) * 0x10;
  procs_[ref] = &proc;
  return ref;
}

WndProcRef FakePlatform::SetWindowLongA(Hwnd hwnd, int index, WndProcRef value) {
  auto it = windows_.find(hwnd);
  if (failSetWindowLong || index != kGwlWndProc || it == windows_.end()) {
    lastError = 1400;  // invalid window handle
    return 0;
  }
  WndProcRef previous = it->second.proc;
  it->second.proc = value;
  return previous;
}

intptr_t FakePlatform::CallWindowProcA(WndProcRef proc, Hwnd hwnd, uint32_t msg, uintptr_t wParam,
                                       intptr_t lParam) {
  if (proc == kOriginalProc) {
    defaultProcMessages.push_back({hwnd, msg, wParam, lParam});
    if (Form* form = FormOfWindow(hwnd)) return FormWindowProc(*form, msg, wParam);
    return defaultProcResult;
  }
  auto it = procs_.find(proc);
  return it == procs_.end() ? 0 : it->second->Call(hwnd, msg, wParam, lParam);
}

Hwnd FakePlatform::CreateWindowExA(uint32_t, const char* className, const char* windowName,
                                   uint32_t, int, int, int width, int height, Hwnd parent) {
  if (failCreateWindow) return 0;
  Hwnd h = NewHandle();
  windows_[h] =
      Window{windowName ? windowName : "", className, parent, kOriginalProc, kOwnProcessId};
  if (std::strcmp(className, "msctls_hotkey32") == 0) {
    HotKeyControl control;
    control.parent = parent;
    control.width = width;
    control.height = height;
    hotKeyControls[h] = control;
  }
  return h;
}

intptr_t FakePlatform::SendMessageA(Hwnd hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  auto control = hotKeyControls.find(hwnd);
  if (control != hotKeyControls.end()) {
    HotKeyControl& c = control->second;
    switch (msg) {
      case kHkmSetHotKey:
        c.code = static_cast<uint32_t>(wParam & 0xFFFF);
        return 0;
      case kHkmGetHotKey:
        return c.code;
      case kHkmSetRules:
        c.rulesInvalid = wParam;
        c.rulesDefault = lParam;
        return 0;
      case kWmSetFont:
        c.font = wParam;
        return 0;
      default:
        return 0;
    }
  }
  if (msg == kWmGetFont && IsWindow(hwnd)) return static_cast<intptr_t>(kHostFont);
  return Dispatch(hwnd, msg, wParam, lParam);
}

Handle FakePlatform::GetCurrentProcess() {
  privilegeCalls.push_back("GetCurrentProcess");
  return static_cast<Handle>(-1);
}

bool FakePlatform::OpenProcessToken(Handle process, uint32_t access, Handle* token) {
  privilegeCalls.push_back("OpenProcessToken(" + std::to_string(static_cast<intptr_t>(process)) +
                           "," + std::to_string(access) + ")");
  if (failPrivilegeCalls) return false;
  *token = kTokenHandle;
  return true;
}

bool FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
  privilegeCalls.push_back(std::string("LookupPrivilegeValueA(") +
                           (systemName ? systemName : "null") + "," + name + ")");
  if (failPrivilegeCalls) return false;
  luid->lowPart = kShutdownLuid;
  luid->highPart = 0;
  return true;
}

bool FakePlatform::AdjustTokenPrivileges(Handle token, bool disableAll,
                                         const TokenPrivilege& newState, uint32_t bufferLength,
                                         TokenPrivilege*, uint32_t*) {
  privilegeCalls.push_back("AdjustTokenPrivileges(" + std::to_string(token) + "," +
                           std::to_string(disableAll) +
                           ",count=" + std::to_string(newState.privilegeCount) +
                           ",luid=" + std::to_string(newState.luid.lowPart) +
                           ",attributes=" + std::to_string(newState.attributes) +
                           ",length=" + std::to_string(bufferLength) + ")");
  return !failPrivilegeCalls;
}

bool FakePlatform::CloseHandle(Handle handle) {
  privilegeCalls.push_back("CloseHandle(" + std::to_string(handle) + ")");
  closedHandles.insert(handle);
  return true;
}

bool FakePlatform::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  if (ProcessGone()) return false;
  exitRequests.push_back(flags);
  exitReservedArgs.push_back(reserved);
  if (!exitWindowsRefusal) return true;
  lastError = *exitWindowsRefusal;
  return false;
}

bool FakePlatform::SetSystemPowerState(int32_t suspend, int32_t force) {
  if (ProcessGone()) return false;
  powerRequests.emplace_back(suspend, force);
  if (powerStateLastError) lastError = *powerStateLastError;
  if (powerStateResult) return *powerStateResult;
  return lastError == 0;
}

uint32_t FakePlatform::GetLastError() {
  return lastError;
}

uint32_t FakePlatform::mciSendStringA(const char* command, char*, uint32_t, Hwnd) {
  std::string text = FromAnsi(command);
  mciCommands.push_back(text);
  if (mciResponder) return mciResponder(text);
  static constexpr char kOpen[] = "open \"";
  static constexpr char kAlias[] = "\" alias mysound";
  if (text.rfind(kOpen, 0) != 0) return 0;
  if (text.size() < sizeof kOpen + sizeof kAlias - 2 ||
      text.compare(text.size() - (sizeof kAlias - 1), std::string::npos, kAlias) != 0)
    return 275;
  std::string name =
      text.substr(sizeof kOpen - 1, text.size() - (sizeof kOpen - 1) - (sizeof kAlias - 1));
  return files.count(name) ? 0 : 275;  // 275: file not found
}

int32_t FakePlatform::RegOpenKeyExA(Handle root, const char* subKey, uint32_t, uint32_t access,
                                    Handle* result) {
  registryAccessMasks.push_back(access);
  if (access & deniedAccessBits) return 5;  // access denied
  auto it = registry.find({root, subKey});
  if (it == registry.end()) return 2;  // not found
  Handle h = nextKey_++;
  openKeys_[h] = it->first;
  *result = h;
  return 0;
}

int32_t FakePlatform::RegQueryValueExA(Handle key, const char* valueName, uint32_t* type,
                                       uint8_t* data, uint32_t* size) {
  auto open = openKeys_.find(key);
  if (open == openKeys_.end()) return 6;  // invalid handle
  auto& values = registry[open->second];
  auto it = values.find(valueName ? valueName : "");
  if (it == values.end()) return 2;
  const RegistryValue& value = it->second;
  if (type) *type = value.type;
  auto length = static_cast<uint32_t>(value.data.size());
  if (data && size && *size < length) {
    *size = length;
    return 234;  // more data
  }
  if (data) std::memcpy(data, value.data.data(), length);
  if (size) *size = length;
  return 0;
}

int32_t FakePlatform::RegCloseKey(Handle key) {
  registryCloses.push_back(key);
  return openKeys_.erase(key) ? 0 : 6;
}

// ---- WindowRuntime ----

void FakePlatform::ScriptBox(int answer, std::function<void()> whileOpen) {
  boxScript_.emplace_back(answer, std::move(whileOpen));
}

int FakePlatform::MsgBox(const std::string& text, int style, const std::string& caption) {
  if (ended) return 0;
  boxes.push_back({text, style, caption});
  // The box is a window of this program while it is open.
  const Hwnd box = NewHandle();
  windows_[box] = Window{ToAnsi(caption), "#32770", 0, kOriginalProc, kOwnProcessId};
  openBoxes_.push_back({box, 0});
  int answer = (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
  if (!boxScript_.empty()) {
    auto [scripted, whileOpen] = std::move(boxScript_.front());
    boxScript_.pop_front();
    if (whileOpen) whileOpen();
    answer = scripted;
  }
  auto open = std::find_if(openBoxes_.begin(), openBoxes_.end(),
                           [box](const OpenBoxState& b) { return b.hwnd == box; });
  if (open->answer != 0) answer = open->answer;
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

// A box disables every form but those designed to stay usable; an answered
// box has gone already.
bool FakePlatform::Blocked(const Form& form) const {
  const bool underBox = std::any_of(openBoxes_.begin(), openBoxes_.end(),
                                    [](const OpenBoxState& box) { return box.answer == 0; });
  if (underBox && !form.Design().usableUnderBoxes) return true;
  return !modalStack_.empty() && modalStack_.back() != &form;
}

void FakePlatform::Load(Form& form) {
  if (IsLoaded(form)) return;
  auto& state = forms_[&form];
  state = std::make_unique<FormState>();
  state->hwnd = NewHandle();
  windows_[state->hwnd] =
      Window{ToAnsi(form.Caption()), "KestruneForm", 0, kOriginalProc, kOwnProcessId};
  for (const auto& control : form.Controls()) {
    ControlKind kind = control->Kind();
    if (kind == ControlKind::Timer || kind == ControlKind::Line ||
        kind == ControlKind::CommonDialog)
      continue;
    Hwnd child = NewHandle();
    windows_[child] = Window{ToAnsi(control->Caption()), "KestruneControl", state->hwnd,
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

bool FakePlatform::FileExists(const std::string& path) {
  return path.size() <= pathLimit && files.count(path) != 0 && hiddenFiles.count(path) == 0;
}

bool FakePlatform::Launch(const std::string& path) {
  launches.push_back(path);
  return FileExists(path);
}

std::string FakePlatform::ExpandEnvironmentVariables(const std::string& text) {
  auto sameName = [](const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) ==
             std::tolower(static_cast<unsigned char>(y));
    });
  };
  auto lookup = [&](const std::string& name) -> const std::string* {
    for (const auto& [key, value] : environment) {
      if (sameName(key, name)) return &value;
    }
    return nullptr;
  };
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    out.append(text, pos, open - pos);
    const std::string* value = lookup(text.substr(open + 1, close - open - 1));
    if (value)
      out += *value;
    else
      out.append(text, open, close - open + 1);
    pos = close + 1;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

WindowRuntime::FileRead FakePlatform::ReadFileBytes(const std::string& path, size_t maxBytes) {
  auto it = files.find(path);
  if (path.size() > pathLimit || it == files.end()) return {ReadOutcome::Missing, {}};
  if (lockedFiles.count(path)) return {ReadOutcome::Unreadable, {}};
  if (it->second.size() > maxBytes) return {ReadOutcome::TooLarge, {}};
  readSizes.push_back(it->second.size());
  return {ReadOutcome::Read, it->second};
}

bool FakePlatform::ReplaceFileBytes(const std::string& path, const std::string& bytes,
                                    const std::string& backupPath,
                                    const std::optional<std::string>& knownOld) {
  if (ended || failFileWrites || path.size() > pathLimit || backupPath.size() > pathLimit)
    return false;
  const bool exists = files.count(path) != 0;
  if (exists && (readOnlyFiles.count(path) || lockedFiles.count(path))) return false;
  // Hidden and system files count: they are the user's as much as others.
  const bool keepOld = exists && !backupPath.empty() && files[path] != knownOld;
  const std::string folder = path.substr(0, path.find_last_of('\\'));
  if (noCreateFolders.count(folder)) {
    // In place: the file and any backup must exist already.
    if (!exists || (keepOld && files.count(backupPath) == 0)) return false;
  }
  if (keepOld) {
    if (readOnlyFiles.count(backupPath)) return false;
    files[backupPath] = files[path];
  }
  files[path] = bytes;
  return true;
}

std::string FakePlatform::ToAnsi(const std::string& text) {
  return Utf8ToCodePage932(text);
}

std::string FakePlatform::FromAnsi(const std::string& bytes) {
  return CodePage932ToUtf8(bytes);
}

}  // namespace kestrune
