// The pieces the Windows forms are built from: a form (a top-level window
// with its own message handler and a modal loop), the program's fonts and
// icon, and stand-ins for the ready-made components the dialogs use: the
// raised 3-D label, the mail link and the banner link.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace nomvex::win32ui {

// Text of a window as UTF-8, and set from UTF-8.
std::string TextOf(HWND w);
void SetText(HWND w, std::string_view utf8);
// The same through code page 932, the core's bytes.
std::string Cp932Of(HWND w);
void SetCp932(HWND w, std::string_view cp932);

// "ＭＳ Ｐゴシック" 12 px where installed, otherwise a Japanese proportional
// face of similar metrics.  FixedSys 19 px for the number boxes, otherwise a
// fixed-pitch face that fits them.
HFONT UiFont();
HFONT NumberFont();
HICON ProgramIcon();

// A colour as GDI takes it; the core's colours are laid out the same way.
inline COLORREF Color(uint32_t bbggrr) { return static_cast<COLORREF>(bbggrr); }

class Form {
 public:
  virtual ~Form();
  HWND hwnd() const { return hwnd_; }

  // Creates the window hidden, with a client area of the given size.
  bool Create(const wchar_t* caption, DWORD style, DWORD ex_style, int client_w, int client_h,
              HWND owner, HMENU menu = nullptr, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT);
  // Shows the form modally above `owner` and gives its modal result.
  int ShowModal(HWND owner);
  // Ends a modal showing with this result.
  void Close(int result) { modal_result_ = result; }

  HWND AddControl(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
                  int id, HFONT font = nullptr, DWORD ex_style = 0);

  // The message loop's turn: keys of the dialog manager (Tab, Enter,
  // access keys).
  virtual bool PreTranslate(MSG& msg);

 protected:
  virtual LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  virtual void OnShow() {}  // each time before it becomes visible
  // Enter without a default button: presses the focused button, if any.
  void PressFocusedButton();

  HWND hwnd_ = nullptr;
  int modal_result_ = 0;
  HWND last_focus_ = nullptr;

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
};

// Raised text: drawn in white one pixel right and down, then in the window
// text colour; centred.  An owner-drawn static: its parent passes
// WM_DRAWITEM here.
HWND AddExLabel(Form& form, const wchar_t* text, int x, int y, int w, int h, int id);
void DrawExLabel(const DRAWITEMSTRUCT& item);
// A label whose "&" underlines the next letter without giving it a key:
// no control is attached to it.
HWND AddMarkedLabel(Form& form, const wchar_t* text, int x, int y, int w, int h);
// Lines (joined by CR LF) one below the other at a pitch of 12 pixels, as
// designed, whatever leading the face has; never wrapped.
HWND AddLinesLabel(Form& form, const wchar_t* text, int x, int y, int w, int h);

// A link: blue, red while the button is held on it, navy once used, for the
// rest of the run; opens its address only when the button is released over
// it.  The banner: the 88 x 31 homepage picture; a click opens its address.
HWND AddUrlLabel(Form& form, const wchar_t* caption, const std::wstring& url, int x, int y, int w,
                 int h, int id);
HWND AddUrlImage(Form& form, const std::wstring& url, int x, int y, int id);
void DrawBanner(const DRAWITEMSTRUCT& item);
// The colour a link's text is drawn in now.
COLORREF UrlLabelColor(HWND label);
// A tooltip over a control.
void AddTip(Form& form, HWND control, const wchar_t* tip);

}  // namespace nomvex::win32ui
