#include "app/win32/widgets.h"

#include <commctrl.h>
#include <shellapi.h>

#include <initializer_list>

#include "platform/codepage.h"
#include "platform/win32/wide.h"

namespace nomvex::win32ui {
namespace {

using platform::win32::Utf8;
using platform::win32::Wide;

constexpr wchar_t kFormClass[] = L"NomvexForm";
constexpr wchar_t kUrlProp[] = L"NomvexUrl";  // a link's state

// What an owner-drawn static is, kept in its user data.
enum Kind : LONG_PTR { kPlain = 0, kExLabel = 1, kBanner = 2, kMarked = 3, kLines = 4 };

struct UrlState {
  std::wstring url;
  bool pressed = false;
  bool visited = false;
};

bool FaceInstalled(const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(
      dc, &lf,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
        *reinterpret_cast<bool*>(found) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

// The first face of the list that is installed; the first of all when none
// is, and the system then finds the nearest for the character set.
HFONT MakeFont(std::initializer_list<const wchar_t*> faces, int height, BYTE charset, BYTE pitch) {
  const wchar_t* face = *faces.begin();
  for (const wchar_t* f : faces) {
    if (FaceInstalled(f)) {
      face = f;
      break;
    }
  }
  return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitch, face);
}

LRESULT CALLBACK UrlProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* state = reinterpret_cast<UrlState*>(data);
  switch (msg) {
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_LBUTTONDOWN:
      SetCapture(w);
      state->pressed = true;
      InvalidateRect(w, nullptr, TRUE);
      return 0;
    case WM_LBUTTONUP: {
      if (!state->pressed) return 0;
      ReleaseCapture();
      state->pressed = false;
      RECT r;
      GetClientRect(w, &r);
      POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      if (PtInRect(&r, at) && !state->url.empty()) {
        state->visited = true;
        ShellExecuteW(GetAncestor(w, GA_ROOT), L"open", state->url.c_str(), nullptr, nullptr, SW_SHOW);
      }
      InvalidateRect(w, nullptr, TRUE);
      return 0;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(w, UrlProc, 0);
      RemovePropW(w, kUrlProp);
      delete state;
      break;
  }
  return DefSubclassProc(w, msg, wp, lp);
}

void MakeUrl(HWND w, const std::wstring& url) {
  auto* state = new UrlState{url};
  SetPropW(w, kUrlProp, state);
  SetWindowSubclass(w, UrlProc, 0, reinterpret_cast<DWORD_PTR>(state));
}

// The text of an owner-drawn label in its font on the dialog's face: one
// line with its marked letter underlined, or, with a `pitch`, a line every
// `pitch` pixels as written.
void DrawLabelText(const DRAWITEMSTRUCT& item, int pitch) {
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      GetWindowTextW(item.hwndItem, text.data(), static_cast<int>(text.size()))));
  HGDIOBJ old = SelectObject(
      item.hDC, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(COLOR_WINDOWTEXT));
  if (pitch == 0) {
    RECT r = item.rcItem;
    DrawTextW(item.hDC, text.c_str(), -1, &r, DT_LEFT | DT_TOP | DT_SINGLELINE);
  } else {
    size_t start = 0;
    for (int line = 0; start <= text.size(); ++line) {
      size_t end = text.find(L"\r\n", start);
      if (end == std::wstring::npos) end = text.size();
      RECT r = item.rcItem;
      r.top += line * pitch;
      DrawTextW(item.hDC, text.c_str() + start, static_cast<int>(end - start), &r,
                DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
      start = end + 2;
    }
  }
  SelectObject(item.hDC, old);
}

}  // namespace

std::string TextOf(HWND w) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
  return Utf8(text);
}

void SetText(HWND w, std::string_view utf8) { SetWindowTextW(w, Wide(utf8).c_str()); }
std::string Cp932Of(HWND w) { return platform::ToCp932(TextOf(w)); }
void SetCp932(HWND w, std::string_view cp932) { SetText(w, platform::FromCp932(cp932)); }

HFONT UiFont() {
  static HFONT font = MakeFont({L"ＭＳ Ｐゴシック", L"MS PGothic", L"IPAPGothic", L"IPA Pゴシック",
                                L"MS UI Gothic", L"Meiryo UI"},
                               12, SHIFTJIS_CHARSET, DEFAULT_PITCH);
  return font;
}

HFONT NumberFont() {
  static HFONT font = FaceInstalled(L"FixedSys")
                          ? MakeFont({L"FixedSys"}, 19, SHIFTJIS_CHARSET, FIXED_PITCH)
                          // A scalable stand-in fits the box at 15.
                          : MakeFont({L"ＭＳ ゴシック", L"MS Gothic", L"IPAGothic", L"Courier New"}, 15,
                                     SHIFTJIS_CHARSET, FIXED_PITCH);
  return font;
}

HICON ProgramIcon() {
  static HICON icon = [] {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP color = CreateCompatibleBitmap(screen, 32, 32);
    HBITMAP mask = CreateBitmap(32, 32, 1, 1, nullptr);
    ReleaseDC(nullptr, screen);
    // A handset: its body, its screen and nine keys; the mask keeps the body.
    auto draw = [&](HBITMAP bitmap, bool for_mask) {
      HGDIOBJ old = SelectObject(dc, bitmap);
      RECT all{0, 0, 32, 32};
      FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(for_mask ? WHITE_BRUSH : BLACK_BRUSH)));
      HBRUSH body = CreateSolidBrush(for_mask ? RGB(0, 0, 0) : RGB(0x20, 0x40, 0x90));
      HGDIOBJ old_brush = SelectObject(dc, body);
      SelectObject(dc, GetStockObject(NULL_PEN));
      RoundRect(dc, 8, 1, 25, 32, 6, 6);
      SelectObject(dc, old_brush);
      DeleteObject(body);
      if (!for_mask) {
        HBRUSH screen_brush = CreateSolidBrush(RGB(0xBF, 0xFF, 0xFF));
        RECT s{10, 4, 22, 14};
        FillRect(dc, &s, screen_brush);
        DeleteObject(screen_brush);
        for (int r = 0; r < 3; ++r) {
          for (int c = 0; c < 3; ++c) {
            RECT k{11 + c * 4, 17 + r * 4, 13 + c * 4, 19 + r * 4};
            FillRect(dc, &k, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
          }
        }
      }
      SelectObject(dc, old);
    };
    draw(color, false);
    draw(mask, true);
    ICONINFO info{TRUE, 0, 0, mask, color};
    HICON made = CreateIconIndirect(&info);
    DeleteObject(color);
    DeleteObject(mask);
    DeleteDC(dc);
    return made;
  }();
  return icon;
}

Form::~Form() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool Form::Create(const wchar_t* caption, DWORD style, DWORD ex_style, int client_w, int client_h,
                  HWND owner, HMENU menu, int x, int y) {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Form::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = ProgramIcon();
    wc.lpszClassName = kFormClass;
    return RegisterClassExW(&wc) != 0;
  }();
  if (!registered) return false;
  RECT r{0, 0, client_w, client_h};
  ex_style |= WS_EX_CONTROLPARENT;
  AdjustWindowRectEx(&r, style, menu != nullptr, ex_style);
  hwnd_ = CreateWindowExW(ex_style, kFormClass, caption, style, x, y, r.right - r.left,
                          r.bottom - r.top, owner, menu, GetModuleHandleW(nullptr), this);
  return hwnd_ != nullptr;
}

HWND Form::AddControl(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
                      int id, HFONT font, DWORD ex_style) {
  HWND c = CreateWindowExW(ex_style, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                           nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : UiFont()), FALSE);
  return c;
}

int Form::ShowModal(HWND owner) {
  modal_result_ = 0;
  OnShow();
  EnableWindow(owner, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(last_focus_ ? last_focus_ : GetNextDlgTabItem(hwnd_, nullptr, FALSE));
  MSG msg;
  bool quit = false;
  while (modal_result_ == 0) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
      quit = true;
      break;
    }
    if (!PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  HWND focus = GetFocus();
  if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
  // The owner first, so that activation goes back to it.
  EnableWindow(owner, TRUE);
  ShowWindow(hwnd_, SW_HIDE);
  SetActiveWindow(owner);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return modal_result_ ? modal_result_ : IDCANCEL;
}

bool Form::PreTranslate(MSG& msg) {
  return IsDialogMessageW(hwnd_, &msg) != 0;
}

void Form::PressFocusedButton() {
  HWND focus = GetFocus();
  wchar_t cls[16] = {};
  if (!focus || !IsChild(hwnd_, focus)) return;
  GetClassNameW(focus, cls, 16);
  if (lstrcmpiW(cls, L"Button") == 0) SendMessageW(focus, BM_CLICK, 0, 0);
}

LRESULT Form::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      // Enter and Escape as the dialog manager turns them into commands:
      // no form has a default or cancel button but the main window.
      if (LOWORD(wp) == IDOK && lp == 0) {
        PressFocusedButton();
        return 0;
      }
      if (LOWORD(wp) == IDCANCEL && lp == 0) return 0;
      break;
    case WM_ACTIVATE:
      // The control that has the focus when the form goes inactive (a
      // message box, another program) gets it back, as in a dialog.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
      }
      break;
    case WM_SETFOCUS: {
      // The system gives an activated form the focus itself: pass it on.
      HWND to = last_focus_ && IsWindow(last_focus_) ? last_focus_
                                                      : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
      if (to) SetFocus(to);
      return 0;
    }
    case WM_CLOSE:
      Close(IDCANCEL);  // the close box: modal result 2
      return 0;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      const LONG_PTR kind = GetWindowLongPtrW(item.hwndItem, GWLP_USERDATA);
      if (kind == kExLabel) DrawExLabel(item);
      if (kind == kBanner) DrawBanner(item);
      if (kind == kLines) DrawLabelText(item, 12);
      if (kind == kMarked) DrawLabelText(item, 0);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lp);
      if (GetPropW(control, kUrlProp)) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, UrlLabelColor(control));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK Form::Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    form->hwnd_ = w;
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  if (!form) return DefWindowProcW(w, msg, wp, lp);
  const LRESULT result = form->Handle(msg, wp, lp);
  if (msg == WM_NCDESTROY) form->hwnd_ = nullptr;
  return result;
}

HWND AddExLabel(Form& form, const wchar_t* text, int x, int y, int w, int h, int id) {
  HWND label = form.AddControl(L"Static", text, SS_OWNERDRAW, x, y, w, h, id);
  SetWindowLongPtrW(label, GWLP_USERDATA, kExLabel);
  return label;
}

HWND AddMarkedLabel(Form& form, const wchar_t* text, int x, int y, int w, int h) {
  // Owner-drawn and without prefix processing, the dialog manager finds no
  // access key in it; DrawText still underlines the marked letter.
  HWND label = form.AddControl(L"Static", text, SS_OWNERDRAW | SS_NOPREFIX, x, y, w, h, -1);
  SetWindowLongPtrW(label, GWLP_USERDATA, kMarked);
  return label;
}

HWND AddLinesLabel(Form& form, const wchar_t* text, int x, int y, int w, int h) {
  HWND label = form.AddControl(L"Static", text, SS_OWNERDRAW | SS_NOPREFIX, x, y, w, h, -1);
  SetWindowLongPtrW(label, GWLP_USERDATA, kLines);
  return label;
}

void DrawExLabel(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(item.hwndItem, text.data(), static_cast<int>(text.size()))));
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
  RECT shadow = r;
  OffsetRect(&shadow, 1, 1);
  SetTextColor(dc, RGB(255, 255, 255));
  DrawTextW(dc, text.c_str(), -1, &shadow, format);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  DrawTextW(dc, text.c_str(), -1, &r, format);
  SelectObject(dc, old);
}

HWND AddUrlLabel(Form& form, const wchar_t* caption, const std::wstring& url, int x, int y, int w, int h,
                 int id) {
  HWND label = form.AddControl(L"Static", caption, SS_CENTER | SS_NOTIFY | SS_NOPREFIX, x, y, w, h, id);
  MakeUrl(label, url);
  return label;
}

HWND AddUrlImage(Form& form, const std::wstring& url, int x, int y, int id) {
  HWND banner = form.AddControl(L"Static", L"Nomvex", SS_OWNERDRAW | SS_NOTIFY, x, y, 88, 31, id);
  SetWindowLongPtrW(banner, GWLP_USERDATA, kBanner);
  MakeUrl(banner, url);
  return banner;
}

void DrawBanner(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const RECT r = item.rcItem;
  const int h = r.bottom - r.top;
  for (int y = 0; y < h; ++y) {  // from light blue at the top to dark blue
    const int t = h > 1 ? y * 255 / (h - 1) : 0;
    HBRUSH band = CreateSolidBrush(RGB(0x40 - (0x30 * t) / 255, 0x70 - (0x40 * t) / 255, 0xC0 - (0x50 * t) / 255));
    RECT line{r.left, r.top + y, r.right, r.top + y + 1};
    FillRect(dc, &line, band);
    DeleteObject(band);
  }
  FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  static HFONT bold = CreateFontW(-14, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                  L"Arial");
  HGDIOBJ old = SelectObject(dc, bold);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT text = r;
  DrawTextW(dc, L"Nomvex", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
}

COLORREF UrlLabelColor(HWND label) {
  const auto* state = static_cast<const UrlState*>(GetPropW(label, kUrlProp));
  if (!state) return RGB(0, 0, 255);
  if (state->pressed) return RGB(255, 0, 0);
  return state->visited ? RGB(0, 0, 0x80) : RGB(0, 0, 255);
}

void AddTip(Form& form, HWND control, const wchar_t* tip) {
  HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form.hwnd(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = form.hwnd();
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = const_cast<wchar_t*>(tip);
  SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace nomvex::win32ui
