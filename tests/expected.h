#pragma once

// What the tests expect the user to see, typed afresh from the design and
// never taken from src/: a wrong character in the program's texts, a wrong
// message style or a moved control then fails a test. The end-to-end tests
// keep the same values in e2e/expected.py.
namespace kestrune::expected {

inline constexpr char kAppTitle[] = "Kestrune";

// Captions of the main window that the logic sets and compares.
inline constexpr char kSelectPrompt[] =
    "クリックして「監視ウインドウ」を選択。ホットキーを押して下さい";
inline constexpr char kReselectPrompt[] = "クリックして「監視ウインドウ」を再設定する";
inline constexpr char kArmedCaption[] = "「監視ウィンドウ」選択のキャンセル";  // small ィ
inline constexpr char kStartWatch[] = "監視開始";
inline constexpr char kStopWatch[] = "監視中止";
inline constexpr char kNotSet[] = "未設定";

// Message boxes: text, style (icon + buttons) and caption.
struct Box {
  const char* text;
  int style;
  const char* caption;
};
inline constexpr Box kAlreadyRunning{"ソフトはすでに起動中です", 0x30, kAppTitle};
inline constexpr Box kQuitQuestion{"アプリケーションを終了しますか ?", 0x24, kAppTitle};
inline constexpr char kLockedOnPrefix[] = "ロックオンされたウインドウ名は";
inline constexpr char kLockedOnSuffix[] = "です";
inline constexpr int kLockedOnStyle = 0x1;
inline constexpr Box kNotSupported{"システムでサポートされません。", 0x40, kAppTitle};
inline constexpr char kCallFailedSuffix[] = "関数の呼び出しは失敗しました。";
inline constexpr int kCallFailedStyle = 0x10;
// An exit request the system refused: the action's name, the code, ")".
inline constexpr char kRequestRefusedMiddle[] =
    "の要求はシステムに受け付けられませんでした。(エラー ";
inline constexpr int kRequestRefusedStyle = 0x10;
inline constexpr Box kEnterFileName{"ファイル名を入力してください。", 0, "再生エラー"};
inline constexpr Box kEnterCorrectFileName{"正しいファイル名を入力してください。", 0, "再生エラー"};
inline constexpr Box kSysInfoUnavailable{"現時点ではｼｽﾃﾑ情報を使用できません", 0, kAppTitle};
// The program's own messages for faults the design leaves unreported.
inline constexpr Box kHotKeyRefused{
    "このホットキーはほかのプログラムが使用中のため登録できませんでした。\r\n"
    "このままではホットキーでウインドウを選択できません。"
    "別の組み合わせを入力して「変更」を押してください。",
    0x30, kAppTitle};
inline constexpr char kSettingsWriteFailedPrefix[] = "設定ファイルを保存できませんでした。\r\n\r\n";
inline constexpr int kSettingsWriteFailedStyle = 0x10;
inline constexpr char kSettingsReadFailedPrefix[] = "設定ファイルを読み込めませんでした。\r\n\r\n";
inline constexpr char kSettingsReadFailedSuffix[] =
    "\r\n\r\n既定の設定で起動します。このファイルは最初の保存のときに default.ini.bak "
    "として残します。";
inline constexpr int kSettingsReadFailedStyle = 0x30;
inline constexpr char kSettingsOldKeptAsidePrefix[] =
    "設定ファイルを保存しましたが、以前の内容を default.ini.bak として残せませんでした。\r\n\r\n"
    "以前の内容は次のファイルに残っています。\r\n\r\n";
inline constexpr int kSettingsOldKeptAsideStyle = 0x30;

inline constexpr char kHotKeyAtomName[] = "HotKeySample";

// The main window's controls: caption and position in twips (left, top,
// width, height) relative to their container; lines give their two ends.
struct ControlRow {
  const char* name;
  const char* caption;
  int left, top, width, height;
};
inline constexpr ControlRow kForm1Controls[] = {
    {"Frame3", "", 120, 0, 5895, 3855},
    {"Frame8", "ホットキー設定", 120, 240, 5655, 615},
    {"picHotKey", "", 120, 240, 4575, 255},
    {"cmdSet", "変更", 4800, 240, 735, 255},
    {"Frame1", "", 120, 840, 5655, 1455},
    {"Label2", "選択されたウインドウ名は…", 120, 240, 5415, 255},
    {"Label1", "未設定", 120, 480, 5415, 375},
    {"Command1", kSelectPrompt, 120, 960, 5415, 375},
    {"Check1", "監視ウィンドウが消えたら次の動作をする", 240, 2400, 3495, 255},
    {"Frame2", "", 120, 2400, 5655, 855},
    {"Option1(0)", "サスペンド", 120, 360, 1095, 255},
    {"Option1(1)", "休止状態", 1200, 360, 1095, 255},
    {"Option1(2)", "ログオフ", 2280, 360, 975, 255},
    {"Option1(3)", "リブート", 3240, 360, 975, 255},
    {"Option1(4)", "シャットダウン", 4200, 360, 1400, 255},
    {"Line1", "", 120, 645, 5520, 645},
    {"Line2", "", 120, 650, 5520, 650},
    {"Option1(5)", "サウンドを鳴らす", 120, 720, 1635, 255},
    {"Command4", "サウンドファイル選択", 2400, 720, 2055, 255},
    {"Command3", "再生テスト", 4560, 720, 975, 255},
    {"Command5", "停　　止", 4560, 960, 975, 255},  // two U+3000
    {"txtFileName", "", 120, 1320, 5415, 270},
    {"Command2", kStartWatch, 120, 3360, 5655, 375},
};
inline constexpr int kForm1ClientWidth = 6150;
inline constexpr int kForm1ClientHeight = 3975;

// The countdown and the About box.
inline constexpr char kMovingOn[] = "選択した処理に移行します";
inline constexpr char kCancelCountdown[] = "中　止";  // U+3000 in the middle
inline constexpr char kSysInfoButton[] = "ｼｽﾃﾑ情報(&S)...";
inline constexpr char kOk[] = "OK";

}  // namespace kestrune::expected
