// The four forms of the Windows program.  They read their boxes, call the
// core and show what it answers; they decide nothing.
#pragma once

#include <string>

#include "app/win32/widgets.h"
#include "sstp/notify.h"

namespace nomvex {
class NumberTable;
}

namespace nomvex::win32ui {

// Menu commands and controls, by number.
enum : int {
  kExamineBtn = 100,
  kTelType,
  kTelNo,
  kCom,
  kWhere,
  kCsvConvMnu = 200,
  kClearMnu,
  kKeitaiMnu,
  kPhsMnu,
  kAlwaysTopMnu,
  kConvIdoMnu,
  kAboutMnu,
  kOkButton = 300,
  kSrcFile,
  kDstFile,
  kBrowseSrc,
  kBrowseDst,
  kConvBtn,
  kCancelBtn,
};

class TAboutF : public Form {
 public:
  bool Create(HWND owner);
  HWND ExLabel2 = nullptr;  // the data line

 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnShow() override;
};

class TUnknownF : public Form {
 public:
  bool Create(HWND owner);
  HWND TelNo = nullptr;

 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnShow() override;
};

class TCsvConvF : public Form {
 public:
  bool Create(HWND owner);
  HWND SrcFile = nullptr;
  HWND DstFile = nullptr;
  std::wstring first_source;  // shown once as the source (--annotate-dialog)

 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnShow() override;  // FormShow: both boxes emptied

 private:
  void Browse(bool save);
  std::wstring last_open_, last_save_;  // offered again by each file dialog
};

class TNomvexF : public Form {
 public:
  TNomvexF(const NumberTable* table, std::string data_version, std::string exe_dir)
      : table_(table), data_version_(std::move(data_version)), exe_dir_(std::move(exe_dir)) {}
  bool Create();
  void SetForms(TAboutF* about, TUnknownF* unknown, TCsvConvF* csv_conv);

  void FormCreate();  // the start notification
  void FormShow();    // the table check, before the window first shows
  void ExamineBtnClick();
  void CsvConvMnuClick();
  void ClearTo(const wchar_t* prefix);
  void AlwaysTopMnuClick();
  void AboutClick();

  bool PreTranslate(MSG& msg) override;

  HWND TelType = nullptr, TelNo = nullptr, ExamineBtn = nullptr, Com = nullptr, Where = nullptr;
  HMENU menu = nullptr;
  bool conv_ido = false;  // the hidden switch: IDO and セルラー shown apart

 protected:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Notify(int kind);
  void SetColor(HWND box, COLORREF color);
  HBRUSH Brush(COLORREF color);

  const NumberTable* table_;
  std::string data_version_;
  std::string exe_dir_;
  HACCEL accel_ = nullptr;
  COLORREF com_color_, where_color_;
  bool colored_ = false;  // before any colour is set, the edit box's own
  HBRUSH brushes_[2] = {};
  TAboutF* AboutF = nullptr;
  TUnknownF* UnknownF = nullptr;
  TCsvConvF* CsvConvF = nullptr;
};

}  // namespace nomvex::win32ui
