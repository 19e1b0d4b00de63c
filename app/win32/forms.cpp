#include "app/win32/forms.h"

#include <commctrl.h>
#include <commdlg.h>

#include <iostream>

#include "annotate/cli.h"
#include "annotate/convert.h"
#include "app/author.h"
#include "app/window_entry.h"
#include "examine/rules.h"
#include "platform/codepage.h"
#include "platform/win32/wide.h"
#include "table/number_table.h"

namespace nomvex::win32ui {
namespace {

using platform::win32::Wide;

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;

void CenterOnScreen(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  SetWindowPos(w, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

HWND OkButton(Form& form, int x, int y) {
  return form.AddControl(L"Button", L"OK", WS_TABSTOP | BS_PUSHBUTTON, x, y, 121, 21, kOkButton);
}

void MailLink(Form& form, int x, int y, int w, int h) {
  const std::wstring mail = Wide(author::kMail);
  HWND link = AddUrlLabel(form, mail.c_str(), L"mailto:" + mail, x, y, w, h, -1);
  AddTip(form, link, L"メール");
}

void Banner(Form& form, const char* url, int x, int y) {
  HWND banner = AddUrlImage(form, Wide(url), x, y, -1);
  AddTip(form, banner, L"ホームページ");
}

// The application's message box: OK and the stop icon (flags 0x10).
void StopBox(HWND owner, std::string_view utf8, std::string_view caption) {
  MessageBoxW(owner, Wide(utf8).c_str(), Wide(caption).c_str(), MB_OK | MB_ICONSTOP);
}

// The simple message dialog: OK, the application title, no icon.
void ShowMessage(HWND owner, std::string_view utf8) {
  MessageBoxW(owner, Wide(utf8).c_str(), L"Nomvex", MB_OK);
}

}  // namespace

// --- About -----------------------------------------------------------------

bool TAboutF::Create(HWND owner) {
  if (!Form::Create(L"バージョン情報", kDialogStyle, kDialogExStyle, 280, 90, owner)) return false;
  OkButton(*this, 152, 62);  // first in the tab order
  HWND image = AddControl(L"Static", nullptr, SS_ICON, 8, 12, 32, 32, -1);
  SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(ProgramIcon()), 0);
  AddExLabel(*this, L"Nomvex    Version 1.57", 40, 6, 233, 12, -1);
  ExLabel2 = AddExLabel(*this, L"No Data", 40, 20, 233, 12, -1);
  AddExLabel(*this, Wide(author::kCopyright).c_str(), 40, 34, 233, 12, -1);
  MailLink(*this, 154, 47, 119, 12);
  Banner(*this, author::kHomepage, 56, 50);
  return true;
}

void TAboutF::OnShow() { CenterOnScreen(hwnd_); }

LRESULT TAboutF::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && LOWORD(wp) == kOkButton) {
    Close(IDCANCEL);  // Button1Click closes the form: modal result 2
    return 0;
  }
  return Form::Handle(msg, wp, lp);
}

// --- Unknown number ------------------------------------------------------------

bool TUnknownF::Create(HWND owner) {
  if (!Form::Create(L"未知の電話番号", kDialogStyle, kDialogExStyle, 304, 157, owner)) return false;
  OkButton(*this, 176, 130);  // tab order 0, the number box 1
  TelNo = AddControl(L"Edit", L"0901234", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 16, 12, 45, 18, -1);
  // One line, however wide the face draws it (the dialog has room).
  AddControl(L"Static", L"未知の電話番号です。", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 64, 12, 130, 12, -1);
  static const wchar_t* const lines[] = {
      L"ホームページで最新版が公開されているか",
      L"確認してください。",
      L"最新版でも同じ様に未知の番号になった場合、",
      L"事業者などが分かりましたら、左の番号",
      L"（電話番号の上7桁）と事業者名・契約された",
      L"都道府県名を、メールor掲示板で教えて",
      L"いただけると幸いです。",
  };
  std::wstring text;
  for (const wchar_t* line : lines) {
    if (!text.empty()) text += L"\r\n";
    text += L"\u3000";
    text += line;
  }
  AddLinesLabel(*this, text.c_str(), 60, 28, 244, 84);
  MailLink(*this, 178, 115, 117, 12);
  Banner(*this, author::kReportPage, 80, 118);
  return true;
}

void TUnknownF::OnShow() {
  CenterOnScreen(hwnd_);
  last_focus_ = nullptr;  // OK has the focus at every showing
}

LRESULT TUnknownF::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && LOWORD(wp) == kOkButton) {
    Close(IDCANCEL);
    return 0;
  }
  return Form::Handle(msg, wp, lp);
}

// --- Annotation dialog -------------------------------------------------------

bool TCsvConvF::Create(HWND owner) {
  // Shown at its stored place on the screen, not centred.
  if (!Form::Create(L"CSVファイルの一括解析", kDialogStyle, kDialogExStyle, 358, 88, owner, nullptr, 278,
                    358))
    return false;
  // The labels may reach to their boxes, on one line.
  AddControl(L"Static", L"変換元:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 12, 12, 40, 12, -1);
  AddControl(L"Static", L"変換先:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 12, 36, 40, 12, -1);
  SrcFile = AddControl(L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, 52, 8, 233, 20, kSrcFile, nullptr,
                       WS_EX_CLIENTEDGE);
  AddControl(L"Button", L"参照(&1)...", WS_TABSTOP | BS_PUSHBUTTON, 288, 8, 61, 21, kBrowseSrc);
  DstFile = AddControl(L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, 52, 32, 233, 20, kDstFile, nullptr,
                       WS_EX_CLIENTEDGE);
  AddControl(L"Button", L"参照(&2)...", WS_TABSTOP | BS_PUSHBUTTON, 288, 32, 61, 21, kBrowseDst);
  AddControl(L"Button", L"OK", WS_TABSTOP | BS_PUSHBUTTON, 192, 60, 77, 21, kConvBtn);
  AddControl(L"Button", L"キャンセル", WS_TABSTOP | BS_PUSHBUTTON, 272, 60, 77, 21, kCancelBtn);
  return true;
}

void TCsvConvF::OnShow() {
  SetWindowTextW(SrcFile, first_source.c_str());
  SetWindowTextW(DstFile, L"");
  first_source.clear();
}

void TCsvConvF::Browse(bool save) {
  std::wstring& last = save ? last_save_ : last_open_;
  std::wstring name(32768, L'\0');
  last.copy(name.data(), std::min(last.size(), name.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter =
      L"CSV・テキストファイル (*.csv;*.txt)\0*.csv;*.txt\0CSVファイル (*.csv)\0*.csv\0"
      L"テキストファイル (*.txt)\0*.txt\0すべてのファイル (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrDefExt = L"csv";
  // The open dialog takes only an existing file; the save dialog asks
  // nothing about replacing one.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              (save ? 0 : OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return;
  name.resize(wcslen(name.c_str()));
  last = name;
  SetWindowTextW(save ? DstFile : SrcFile, name.c_str());
}

LRESULT TCsvConvF::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND) {
    switch (LOWORD(wp)) {
      case kBrowseSrc:
        Browse(false);
        return 0;
      case kBrowseDst:
        Browse(true);
        return 0;
      case kConvBtn:
        Close(1);
        return 0;
      case kCancelBtn:
        Close(2);
        return 0;
    }
  }
  return Form::Handle(msg, wp, lp);
}

// --- Main window -------------------------------------------------------------

bool TNomvexF::Create() {
  menu = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kCsvConvMnu, L"C&SVファイルの一括解析...\tCtrl+S");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"ファイル(&F)");
  HMENU edit = CreatePopupMenu();
  AppendMenuW(edit, MF_STRING, kClearMnu, L"クリア(&C)\tCtrl+Q");
  AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(edit, MF_STRING, kKeitaiMnu, L"携帯の番号にクリア(&K)\tCtrl+K");
  AppendMenuW(edit, MF_STRING, kPhsMnu, L"PHSの番号にクリア(&P)\tCtrl+P");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"編集(&E)");
  // N2 and ConvIdoMnu are hidden: not in the menu, yet Ctrl+I works.
  HMENU view = CreatePopupMenu();
  AppendMenuW(view, MF_STRING, kAlwaysTopMnu, L"常に前面に表示(&T)\tCtrl+T");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"表示(&V)");
  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, kAboutMnu, L"バージョン情報(&A)");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"ヘルプ(&H)");

  ACCEL keys[] = {
      {FCONTROL | FVIRTKEY, 'S', kCsvConvMnu},   {FCONTROL | FVIRTKEY, 'Q', kClearMnu},
      {FCONTROL | FVIRTKEY, 'K', kKeitaiMnu},    {FCONTROL | FVIRTKEY, 'P', kPhsMnu},
      {FCONTROL | FVIRTKEY, 'T', kAlwaysTopMnu}, {FCONTROL | FVIRTKEY, 'I', kConvIdoMnu},
  };
  accel_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));

  // Fixed border, minimise but no maximise box.
  if (!Form::Create(L"Nomvex", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 302, 90,
                    nullptr, menu))
    return false;

  // Created in the tab order: TelNo, ExamineBtn, Com, Where, TelType.
  TelNo = AddControl(L"Edit", L"", WS_TABSTOP | ES_AUTOHSCROLL, 126, 8, 77, 21, kTelNo, NumberFont(),
                     WS_EX_CLIENTEDGE);
  SendMessageW(TelNo, EM_SETLIMITTEXT, 8, 0);
  ExamineBtn = AddControl(L"Button", L"解析(&X)", WS_TABSTOP | BS_DEFPUSHBUTTON, 208, 8, 81, 22,
                          kExamineBtn);
  // The result boxes lie in the group box; their places are its own plus
  // their offsets in it (12, 36).
  Com = AddControl(L"Edit", L"", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 12 + 64, 36 + 14, 97, 18, kCom,
                   nullptr, WS_EX_CLIENTEDGE);
  Where = AddControl(L"Edit", L"", WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 12 + 196, 36 + 14, 73, 18,
                     kWhere, nullptr, WS_EX_CLIENTEDGE);
  TelType = AddControl(L"Edit", L"090", WS_TABSTOP | ES_AUTOHSCROLL, 80, 8, 33, 21, kTelType, NumberFont(),
                       WS_EX_CLIENTEDGE);
  SendMessageW(TelType, EM_SETLIMITTEXT, 3, 0);
  AddMarkedLabel(*this, L"電話番号(&T):", 12, 12, 65, 12);
  AddControl(L"Static", L"-", SS_LEFT | SS_NOPREFIX, 116, 10, 8, 18, -1, NumberFont());
  // A label may reach to the box it names: a face wider than the designed
  // one then still shows its whole text, on one line.
  AddControl(L"Static", L"事業者名:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 12 + 12, 36 + 16, 52, 12, -1);
  AddControl(L"Static", L"地方:", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 12 + 168, 36 + 16, 28, 12, -1);
  // Last, so that it lies beneath the boxes it frames.
  AddControl(L"Button", L"結果", BS_GROUPBOX, 12, 36, 277, 41, -1);
  return true;
}

void TNomvexF::SetForms(TAboutF* about, TUnknownF* unknown, TCsvConvF* csv_conv) {
  AboutF = about;
  UnknownF = unknown;
  CsvConvF = csv_conv;
}

void TNomvexF::Notify(int kind) {
  NotifySstp(kind, {Cp932Of(TelType), Cp932Of(TelNo), Cp932Of(Com), Cp932Of(Where)}, exe_dir_);
}

void TNomvexF::FormCreate() { Notify(kNotifyStart); }

void TNomvexF::FormShow() {
  if (data_version_.empty()) {
    StopBox(hwnd_, "データファイルが存在しないか、内容が異常です。", "エラー");
    EnableWindow(ExamineBtn, FALSE);
    EnableMenuItem(menu, kCsvConvMnu, MF_BYCOMMAND | MF_GRAYED);
  } else if (AboutF) {
    SetText(AboutF->ExLabel2, "Data : " + platform::FromCp932(data_version_));
  }
}

void TNomvexF::ClearTo(const wchar_t* prefix) {
  SetWindowTextW(TelType, prefix);
  SetWindowTextW(TelNo, L"");
  SetWindowTextW(Com, L"");
  SetWindowTextW(Where, L"");
  SetColor(Com, Color(kWhite));
  SetColor(Where, Color(kWhite));
}

HBRUSH TNomvexF::Brush(COLORREF color) {
  // One brush for each box's colour, remade when it changes.
  for (HBRUSH& b : brushes_) {
    LOGBRUSH lb;
    if (b && GetObjectW(b, sizeof lb, &lb) && lb.lbColor == color) return b;
  }
  if (brushes_[1]) DeleteObject(brushes_[1]);
  brushes_[1] = brushes_[0];
  brushes_[0] = CreateSolidBrush(color);
  return brushes_[0];
}

void TNomvexF::SetColor(HWND box, COLORREF color) {
  if (!colored_) {
    colored_ = true;
    com_color_ = where_color_ = GetSysColor(COLOR_WINDOW);
  }
  (box == Com ? com_color_ : where_color_) = color;
  InvalidateRect(box, nullptr, TRUE);
}

void TNomvexF::AlwaysTopMnuClick() {
  const bool on = !(GetMenuState(menu, kAlwaysTopMnu, MF_BYCOMMAND) & MF_CHECKED);
  CheckMenuItem(menu, kAlwaysTopMnu, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  SetWindowPos(hwnd_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TNomvexF::AboutClick() {
  if (AboutF) AboutF->ShowModal(hwnd_);
}

void TNomvexF::ExamineBtnClick() {
  if (!IsWindowEnabled(ExamineBtn)) return;
  const Examination e = Examine(*table_, Cp932Of(TelType), Cp932Of(TelNo), conv_ido);
  if (e.error != InputError::kNone) {
    StopBox(hwnd_, InputErrorMessage(e.error), kInputErrorCaption);
    return;
  }
  SetCp932(Com, e.carrier);
  SetCp932(Where, e.region);
  SetColor(Where, Color(e.color));
  SetColor(Com, Color(e.color));
  if (!e.unknown) {
    Notify(kNotifyKnown);
  } else {
    Notify(kNotifyUnknown);  // before the dialog opens
    if (UnknownF) {
      SetCp932(UnknownF->TelNo, e.dialog_number);
      UnknownF->ShowModal(hwnd_);
    }
  }
  SetFocus(TelNo);
}

void TNomvexF::CsvConvMnuClick() {
  if ((GetMenuState(menu, kCsvConvMnu, MF_BYCOMMAND) & MF_GRAYED) || !CsvConvF) return;
  if (CsvConvF->ShowModal(hwnd_) != 1) return;
  // The names exactly as they stand in the boxes.
  const std::string src = TextOf(CsvConvF->SrcFile);
  const std::string dst = TextOf(CsvConvF->DstFile);

  // The window takes no input meanwhile; a long run shows how far it is in
  // the title and keeps the window painted.
  HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  int shown = -1;
  ConvertOptions options;
  options.progress = [&](uint64_t done, uint64_t total) {
    if (total < (64u << 20)) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == shown) return;
    shown = percent;
    SetText(hwnd_, "Nomvex - " + std::to_string(percent) + "%");
    MSG m;
    while (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&m);
  };
  const ConvertReport report = ConvertCsvFile(*table_, src, dst, options);
  SetWindowTextW(hwnd_, L"Nomvex");
  SetCursor(cursor);
  ShowMessage(hwnd_, ConvertOutcome(report));
}

bool TNomvexF::PreTranslate(MSG& msg) {
  if (TranslateAcceleratorW(hwnd_, accel_, &msg)) return true;
  return Form::PreTranslate(msg);
}

LRESULT TNomvexF::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDOK:  // Enter in any box: the default button
        case kExamineBtn:
          ExamineBtnClick();
          return 0;
        case kCsvConvMnu:
          CsvConvMnuClick();
          return 0;
        case kClearMnu:
          ClearTo(L"");
          return 0;
        case kKeitaiMnu:
          ClearTo(L"090");
          return 0;
        case kPhsMnu:
          ClearTo(L"070");
          return 0;
        case kAlwaysTopMnu:
          AlwaysTopMnuClick();
          return 0;
        case kConvIdoMnu:
          conv_ido = !conv_ido;
          return 0;
        case kAboutMnu:
          AboutClick();
          return 0;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      // Read-only boxes ask here for their colours.
      HWND box = reinterpret_cast<HWND>(lp);
      if (box == Com || box == Where) {
        const COLORREF color =
            !colored_ ? GetSysColor(COLOR_WINDOW) : box == Com ? com_color_ : where_color_;
        SetBkColor(reinterpret_cast<HDC>(wp), color);
        SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(colored_ ? Brush(color) : GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    }
    case WM_CLOSE:  // FormClose
      Notify(kNotifyExit);
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return Form::Handle(msg, wp, lp);
}

}  // namespace nomvex::win32ui

// Start-up of the window: the four forms in order, the start notification,
// the table check, the main window shown, the message loop.
extern "C" int nomvex_window_main(const nomvex::WindowStart* start) {
  using namespace nomvex::win32ui;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  TNomvexF NomvexF(start->table, *start->data_version, *start->exe_dir);
  if (!NomvexF.Create()) {
    std::cerr << "nomvex: the window cannot start: no window can be opened here\n";
    return nomvex::kExitNoWindow;
  }
  // The start notification is the last step of the main window's creation,
  // before the dialogs exist.
  NomvexF.FormCreate();
  TAboutF AboutF;
  TUnknownF UnknownF;
  TCsvConvF CsvConvF;
  AboutF.Create(NomvexF.hwnd());
  UnknownF.Create(NomvexF.hwnd());
  CsvConvF.Create(NomvexF.hwnd());
  NomvexF.SetForms(&AboutF, &UnknownF, &CsvConvF);
  NomvexF.FormShow();
  ShowWindow(NomvexF.hwnd(), SW_SHOWDEFAULT);
  UpdateWindow(NomvexF.hwnd());
  SetFocus(NomvexF.TelNo);
  // Opened for a file (the shell's "Open with"): the annotation dialog at
  // once, with the file as its source.
  if (start->annotate_dialog) {
    CsvConvF.first_source = nomvex::platform::win32::Wide(*start->annotate_dialog);
    PostMessageW(NomvexF.hwnd(), WM_COMMAND, kCsvConvMnu, 0);
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!NomvexF.PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}
