#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/form.h"
#include "platform/types.h"

namespace kestrune {

// The services the forms stand on: message boxes, the message pump, forms and
// their windows, program-level facts and ANSI text files. All text is UTF-8
// unless a function says it takes or returns ANSI bytes.
class WindowRuntime {
 public:
  virtual ~WindowRuntime() = default;

  // Modal; returns the button pressed (kIdOk, kIdCancel, kIdYes, kIdNo).
  // Disables every form but those whose design asks to stay usable.
  virtual int MsgBox(const std::string& text, int style, const std::string& caption) = 0;
  // The button pressed in the innermost box still open, 0 while it waits.
  // A timer or modal form running inside the box's loop learns the answer
  // here before MsgBox can return it.
  virtual int BoxAnswer() = 0;
  // Runs the window messages pending at this moment.
  virtual void DoEvents() = 0;
  // True when another copy of this program already runs.
  virtual bool PrevInstance() = 0;
  // The folder of the running executable; ends in a separator only at a root.
  virtual std::string AppPath() = 0;
  virtual VersionInfo Version() = 0;
  // Whether a normal file (not a folder, hidden or system file) exists at path.
  virtual bool FileExists(const std::string& path) = 0;
  // Starts a program in a normal, focused window without waiting for it.
  virtual bool Launch(const std::string& path) = 0;
  // Replaces each %NAME% with the value of that environment variable; a name
  // that is not set stays as written.
  virtual std::string ExpandEnvironmentVariables(const std::string& text) = 0;

  // Whole-file access in raw bytes. Nothing of a file larger than maxBytes
  // is read; Missing only when no file of any kind is at path.
  enum class ReadOutcome { Read, Missing, Unreadable, TooLarge };
  struct FileRead {
    ReadOutcome outcome;
    std::string bytes;  // what was read, when Read
  };
  virtual FileRead ReadFileBytes(const std::string& path, size_t maxBytes) = 0;
  // Replaces the file with bytes through a temporary file in the same folder,
  // so that a failure at any point leaves the old file as it was; where no
  // file can be created there, or the file is a link, writes over the file
  // itself (through the link). A read-only file is never replaced. The old
  // bytes are kept under backupPath (replacing an older backup) unless they
  // are exactly knownOld, as found at the replace itself; a backup that
  // cannot be made fails the replace, unless the old bytes can no longer be
  // put back (or not even be read): the new ones then stay, and oldBytesAt
  // names the only file that holds the old ones.
  struct Replaced {
    bool done = false;       // the file holds the new bytes
    std::string oldBytesAt;  // with done: where the old bytes sit, if not kept as the backup
  };
  virtual Replaced ReplaceFileBytes(const std::string& path, const std::string& bytes,
                                    const std::string& backupPath,
                                    const std::optional<std::string>& knownOld) = 0;
  // Conversions between UTF-8 and the system ANSI code page. ToAnsi fails
  // (nullopt) where the system refuses the conversion.
  virtual std::optional<std::string> ToAnsi(const std::string& text) = 0;
  virtual std::string FromAnsi(const std::string& bytes) = 0;

  // Forms. Load creates the window and its controls and raises Form_Load;
  // the window shows only when Show is called. ShowModal loads when needed,
  // disables the other windows and returns once the form is unloaded, or
  // its window is gone with its owner's, or the program is told to quit
  // (the form is then destroyed without its close events).
  virtual void Load(Form& form) = 0;
  virtual void Show(Form& form) = 0;
  virtual void ShowModal(Form& form) = 0;
  virtual void Hide(Form& form) = 0;
  // Raises Form_QueryUnload (which may cancel) and Form_Unload, then destroys
  // the window. Returns false when the close was cancelled.
  virtual bool Unload(Form& form) = 0;
  virtual void Refresh(Form& form) = 0;
  virtual Hwnd WindowHandle(const Form& form) = 0;
  // The handle of a control's own window, 0 if it has none.
  virtual Hwnd ControlHandle(const Control& control) = 0;
  // Pixels per twip are the screen's; 15 twips per pixel at 96 DPI.
  virtual double TwipsPerPixelX() = 0;
  virtual double TwipsPerPixelY() = 0;

  // Ends the program at once: no further event runs.
  virtual void End() = 0;
};

}  // namespace kestrune
