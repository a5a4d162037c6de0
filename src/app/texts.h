#pragma once

// Every fixed text of the program, written once. The captions of Command1
// differ in one character (ウインドウ in the prompts, ウィンドウ when armed),
// and the logic compares captions exactly, so nothing may retype them.
namespace kestrune::texts {

inline constexpr char kAppTitle[] = "Kestrune";

// form1 captions.
inline constexpr char kSelectPrompt[] =
    "クリックして「監視ウインドウ」を選択。ホットキーを押して下さい";
inline constexpr char kReselectPrompt[] = "クリックして「監視ウインドウ」を再設定する";
inline constexpr char kArmedCaption[] = "「監視ウィンドウ」選択のキャンセル";
inline constexpr char kStartWatch[] = "監視開始";
inline constexpr char kStopWatch[] = "監視中止";
inline constexpr char kNotSet[] = "未設定";
inline constexpr char kHotKeyFrame[] = "ホットキー設定";
inline constexpr char kChange[] = "変更";
inline constexpr char kSelectedWindowName[] = "選択されたウインドウ名は…";
inline constexpr char kCheck1Caption[] = "監視ウィンドウが消えたら次の動作をする";
inline constexpr char kSuspend[] = "サスペンド";
inline constexpr char kHibernate[] = "休止状態";
inline constexpr char kLogoff[] = "ログオフ";
inline constexpr char kReboot[] = "リブート";
inline constexpr char kShutdown[] = "シャットダウン";
inline constexpr char kPlaySound[] = "サウンドを鳴らす";
inline constexpr char kChooseSoundFile[] = "サウンドファイル選択";
inline constexpr char kTestPlay[] = "再生テスト";
inline constexpr char kStopSound[] = "停　　止";
inline constexpr char kCommand1Tooltip[] = "test\r\nkai";
inline constexpr char kCommand2Tooltip[] = "aaaaa";
inline constexpr char kMenuWindow[] = "ウィンドウ(&W)";
inline constexpr char kMenuExit[] = "終了(&X)";
inline constexpr char kMenuHelp[] = "へるぷ(&H)";
inline constexpr char kMenuVersion[] = "バージョン情報(&V)";

// form1 messages.
inline constexpr char kAlreadyRunning[] = "ソフトはすでに起動中です";
inline constexpr char kQuitQuestion[] = "アプリケーションを終了しますか ?";
inline constexpr char kLockedOnPrefix[] = "ロックオンされたウインドウ名は";
inline constexpr char kLockedOnSuffix[] = "です";
// Shown around the full path of the settings file when it cannot be written.
inline constexpr char kSettingsWriteFailedPrefix[] = "設定ファイルを保存できませんでした。\r\n\r\n";
inline constexpr char kSettingsWriteFailedSuffix[] =
    "\r\n\r\nフォルダーに書き込めるか、ファイルが読み取り専用でないか確認してください。"
    "以前の設定はそのまま残っています。";
// Shown before the full path of the only file that holds the previous
// contents, when the new ones are saved but the old could not become the
// backup.
inline constexpr char kSettingsOldKeptAsidePrefix[] =
    "設定ファイルを保存しましたが、以前の内容を default.ini.bak として残せませんでした。\r\n\r\n"
    "以前の内容は次のファイルに残っています。\r\n\r\n";

// Shown when the system refuses the hotkey, usually because another program
// holds the same combination.
inline constexpr char kHotKeyRefused[] =
    "このホットキーはほかのプログラムが使用中のため登録できませんでした。\r\n"
    "このままではホットキーでウインドウを選択できません。"
    "別の組み合わせを入力して「変更」を押してください。";

// Countdown dialog.
inline constexpr char kMovingOn[] = "選択した処理に移行します";
inline constexpr char kCancelCountdown[] = "中　止";
inline constexpr char kCountdownFont[] = "ＭＳ Ｐゴシック";

// Exit actions.
inline constexpr char kNotSupported[] = "システムでサポートされません。";
inline constexpr char kCallFailedSuffix[] = "関数の呼び出しは失敗しました。";
// An exit request the system refused: the action's caption, this, the
// system's error code, then the closing parenthesis.
inline constexpr char kRequestRefusedMiddle[] =
    "の要求はシステムに受け付けられませんでした。(エラー ";
inline constexpr char kRequestRefusedEnd[] = ")";

// Sound action.
inline constexpr char kPlaybackError[] = "再生エラー";
inline constexpr char kEnterFileName[] = "ファイル名を入力してください。";
inline constexpr char kEnterCorrectFileName[] = "正しいファイル名を入力してください。";

// About dialog.
inline constexpr char kAboutCaption[] = "ﾊﾞｰｼﾞｮﾝ情報";
// Design-time label texts; the load step replaces them before the dialog shows.
inline constexpr char kAboutTitleDesign[] = "ｱﾌﾟﾘｹｰｼｮﾝ ﾀｲﾄﾙ";
inline constexpr char kAboutVersionDesign[] = "ﾊﾞｰｼﾞｮﾝ";
inline constexpr char kAboutDisclaimerDesign[] = "警告: ...";
inline constexpr char kVersionPrefix[] = "ﾊﾞｰｼﾞｮﾝ ";
inline constexpr char kBeta[] = "β";
inline constexpr char kSysInfoButton[] = "ｼｽﾃﾑ情報(&S)...";
inline constexpr char kOk[] = "OK";
inline constexpr char kSysInfoUnavailable[] = "現時点ではｼｽﾃﾑ情報を使用できません";

// Names the program passes to the system.
inline constexpr char kHotKeyAtomName[] = "HotKeySample";
// Shown around the full path of a settings file that is there but cannot be
// read at start (locked, access denied, over 64 KiB).
inline constexpr char kSettingsReadFailedPrefix[] = "設定ファイルを読み込めませんでした。\r\n\r\n";
inline constexpr char kSettingsReadFailedSuffix[] =
    "\r\n\r\n既定の設定で起動します。このファイルは最初の保存のときに default.ini.bak "
    "として残します。";
inline constexpr char kSettingsFileName[] = "default.ini";
inline constexpr char kShutdownPrivilege[] = "SeShutdownPrivilege";

}  // namespace kestrune::texts
