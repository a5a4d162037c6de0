"""What the end-to-end tests expect the user to see, typed afresh from the
design and never read from src/: a wrong character in a caption or message,
or a moved control, then fails a test. The unit tests keep the same values in
tests/expected.h.

TEXTS: the program's fixed texts by the names the program gives them.
LAYOUT: the main window's controls in creation order (containers first):
kind, container, left, top, width and height in twips relative to the
container (a line gives its two ends), caption.
MENU_IDS: the command ids of the main window's two menu items.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional

APP_TITLE = "Kestrune"
SELECT_PROMPT = "クリックして「監視ウインドウ」を選択。ホットキーを押して下さい"

TEXTS: dict[str, str] = {
    "kAppTitle": APP_TITLE,
    # Main window captions; the armed caption has the small ィ, the prompts イ.
    "kSelectPrompt": SELECT_PROMPT,
    "kReselectPrompt": "クリックして「監視ウインドウ」を再設定する",
    "kArmedCaption": "「監視ウィンドウ」選択のキャンセル",
    "kStartWatch": "監視開始",
    "kStopWatch": "監視中止",
    "kNotSet": "未設定",
    "kHotKeyFrame": "ホットキー設定",
    "kChange": "変更",
    "kSelectedWindowName": "選択されたウインドウ名は…",
    "kCheck1Caption": "監視ウィンドウが消えたら次の動作をする",
    "kSuspend": "サスペンド",
    "kHibernate": "休止状態",
    "kLogoff": "ログオフ",
    "kReboot": "リブート",
    "kShutdown": "シャットダウン",
    "kPlaySound": "サウンドを鳴らす",
    "kChooseSoundFile": "サウンドファイル選択",
    "kTestPlay": "再生テスト",
    "kStopSound": "停\u3000\u3000止",
    "kCommand1Tooltip": "test\r\nkai",
    "kCommand2Tooltip": "aaaaa",
    "kMenuWindow": "ウィンドウ(&W)",
    "kMenuExit": "終了(&X)",
    "kMenuHelp": "へるぷ(&H)",
    "kMenuVersion": "バージョン情報(&V)",
    # Messages of the main window.
    "kAlreadyRunning": "ソフトはすでに起動中です",
    "kQuitQuestion": "アプリケーションを終了しますか ?",
    "kLockedOnPrefix": "ロックオンされたウインドウ名は",
    "kLockedOnSuffix": "です",
    # The program's own messages for faults the design leaves unreported.
    "kSettingsWriteFailedPrefix": "設定ファイルを保存できませんでした。\r\n\r\n",
    "kSettingsWriteFailedSuffix": "\r\n\r\nフォルダーに書き込めるか、ファイルが読み取り専用でないか"
                                  "確認してください。以前の設定はそのまま残っています。",
    "kSettingsReadFailedPrefix": "設定ファイルを読み込めませんでした。\r\n\r\n",
    "kSettingsReadFailedSuffix": "\r\n\r\n既定の設定で起動します。このファイルは最初の保存のときに "
                                 "default.ini.bak として残します。",
    "kHotKeyRefused": "このホットキーはほかのプログラムが使用中のため登録できませんでした。\r\n"
                      "このままではホットキーでウインドウを選択できません。"
                      "別の組み合わせを入力して「変更」を押してください。",
    # The countdown.
    "kMovingOn": "選択した処理に移行します",
    "kCancelCountdown": "中\u3000止",
    "kCountdownFont": "ＭＳ Ｐゴシック",
    # Exit actions and the sound.
    "kNotSupported": "システムでサポートされません。",
    "kCallFailedSuffix": "関数の呼び出しは失敗しました。",
    # An exit request the system refused: the action's name, this, the code, ")".
    "kRequestRefusedMiddle": "の要求はシステムに受け付けられませんでした。(エラー ",
    "kPlaybackError": "再生エラー",
    "kEnterFileName": "ファイル名を入力してください。",
    "kEnterCorrectFileName": "正しいファイル名を入力してください。",
    # The About box.
    "kAboutCaption": "ﾊﾞｰｼﾞｮﾝ情報",
    "kAboutTitleDesign": "ｱﾌﾟﾘｹｰｼｮﾝ ﾀｲﾄﾙ",
    "kAboutVersionDesign": "ﾊﾞｰｼﾞｮﾝ",
    "kAboutDisclaimerDesign": "警告: ...",
    "kVersionPrefix": "ﾊﾞｰｼﾞｮﾝ ",
    "kBeta": "β",
    "kSysInfoButton": "ｼｽﾃﾑ情報(&S)...",
    "kOk": "OK",
    "kSysInfoUnavailable": "現時点ではｼｽﾃﾑ情報を使用できません",
    # Names passed to the system.
    "kHotKeyAtomName": "HotKeySample",
    "kSettingsFileName": "default.ini",
    "kShutdownPrivilege": "SeShutdownPrivilege",
}

MENU_IDS: dict[str, int] = {"kMenuIdExit": 101, "kMenuIdVersion": 201}


@dataclass(frozen=True)
class LayoutRow:
    name: str  # "Option1(3)" for an element of a control array
    kind: str  # Frame, Label, CommandButton, CheckBox, OptionButton, ...
    container: Optional[str]
    left: int
    top: int
    width: int
    height: int
    caption: str


_ROWS = [
    ("Frame3", "Frame", None, 120, 0, 5895, 3855, ""),
    ("Frame8", "Frame", "Frame3", 120, 240, 5655, 615, "ホットキー設定"),
    ("cmdSet", "CommandButton", "Frame8", 4800, 240, 735, 255, "変更"),
    ("picHotKey", "PictureBox", "Frame8", 120, 240, 4575, 255, ""),
    ("Frame1", "Frame", "Frame3", 120, 840, 5655, 1455, ""),
    ("Command1", "CommandButton", "Frame1", 120, 960, 5415, 375, SELECT_PROMPT),
    ("Label2", "Label", "Frame1", 120, 240, 5415, 255, "選択されたウインドウ名は…"),
    ("Label1", "Label", "Frame1", 120, 480, 5415, 375, "未設定"),
    ("Command2", "CommandButton", "Frame3", 120, 3360, 5655, 375, "監視開始"),
    ("Check1", "CheckBox", "Frame3", 240, 2400, 3495, 255, "監視ウィンドウが消えたら次の動作をする"),
    ("Frame2", "Frame", "Frame3", 120, 2400, 5655, 855, ""),
    ("Command4", "CommandButton", "Frame2", 2400, 720, 2055, 255, "サウンドファイル選択"),
    ("txtFileName", "TextBox", "Frame2", 120, 1320, 5415, 270, ""),
    ("Command3", "CommandButton", "Frame2", 4560, 720, 975, 255, "再生テスト"),
    ("Option1(5)", "OptionButton", "Frame2", 120, 720, 1635, 255, "サウンドを鳴らす"),
    ("Option1(0)", "OptionButton", "Frame2", 120, 360, 1095, 255, "サスペンド"),
    ("Option1(1)", "OptionButton", "Frame2", 1200, 360, 1095, 255, "休止状態"),
    ("Option1(2)", "OptionButton", "Frame2", 2280, 360, 975, 255, "ログオフ"),
    ("Option1(3)", "OptionButton", "Frame2", 3240, 360, 975, 255, "リブート"),
    ("Option1(4)", "OptionButton", "Frame2", 4200, 360, 1400, 255, "シャットダウン"),
    ("Command5", "CommandButton", "Frame2", 4560, 960, 975, 255, "停\u3000\u3000止"),
    ("Line1", "Line", "Frame2", 120, 645, 5520, 645, ""),
    ("Line2", "Line", "Frame2", 120, 650, 5520, 650, ""),
    ("CommonDialog1", "CommonDialog", "Frame2", 0, 0, 0, 0, ""),
    ("Timer1", "Timer", "Frame3", 0, 0, 0, 0, ""),
]

LAYOUT: dict[str, LayoutRow] = {row[0]: LayoutRow(*row) for row in _ROWS}
