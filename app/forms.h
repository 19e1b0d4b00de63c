// The main window and the About and unknown-number dialogs.  The forms read
// their boxes, call the core and show what it answers; they decide nothing.
#pragma once

#include <QDialog>
#include <QLocale>
#include <QMainWindow>

#include <string>

#include "sstp/notify.h"

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nomvex {
class NumberTable;
struct Examination;
}

namespace nomvex::ui {

class ExLabel;
class LinesLabel;
class TCsvConvF;

class TAboutF : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutF(QWidget* parent = nullptr);
  ExLabel* ExLabel1;
  ExLabel* ExLabel2;
  ExLabel* ExLabel3;
  QPushButton* Button1;

 protected:
  void showEvent(QShowEvent* e) override;  // centred on the screen each time
  void keyPressEvent(QKeyEvent* e) override;
};

class TUnknownF : public QDialog {
  Q_OBJECT
 public:
  explicit TUnknownF(QWidget* parent = nullptr);
  QLineEdit* TelNo;
  LinesLabel* Label2;
  QPushButton* Button1;

 protected:
  void showEvent(QShowEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
};

class TNomvexF : public QMainWindow {
  Q_OBJECT
 public:
  TNomvexF(const NumberTable* table, const std::string& data_version, const std::string& exe_dir);

  // The other forms, set once they exist (after this one's creation).
  void SetForms(TAboutF* about, TUnknownF* unknown, TCsvConvF* csv_conv);

  void FormCreate();  // the start notification
  void FormShow();    // the table check; runs before the window first shows
  void ExamineBtnClick();
  void CsvConvMnuClick() { AnnotateWithDialog(QString()); }
  // The annotation dialog with `source` already filled in ("Open with").
  void AnnotateWithDialog(const QString& source);
  void ClearMnuClick() { ClearTo(QString()); }
  void KeitaiMnuClick() { ClearTo(QStringLiteral("090")); }
  void PhsMnuClick() { ClearTo(QStringLiteral("070")); }
  void AlwaysTopMnuClick();
  void AboutClick();

  QLineEdit* TelType;
  QLineEdit* TelNo;
  QPushButton* ExamineBtn;
  QGroupBox* GroupBox2;
  QLineEdit* Com;
  QLineEdit* Where;
  QAction* CsvConvMnu;
  QAction* ClearMnu;
  QAction* KeitaiMnu;
  QAction* PhsMnu;
  QAction* AlwaysTopMnu;
  QAction* ConvIdoMnu;
  QAction* About;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;  // FormClose

 private:
  void ClearTo(const QString& prefix);
  void ColorResult(uint32_t color);
  void ReportResult(const Examination& e);
  void Notify(int kind);
  void SetColor(QLineEdit* box, uint32_t color);

  const NumberTable* table_;
  std::string data_version_;
  std::string exe_dir_;
  bool shown_once_ = false;
  TAboutF* AboutF = nullptr;
  TUnknownF* UnknownF = nullptr;
  TCsvConvF* CsvConvF = nullptr;
};

// Start-up of the window: the four forms in order, the start notification,
// the main window shown.  Returns the forms for tests; owned by the caller.
struct Forms {
  TNomvexF* NomvexF;
  TAboutF* AboutF;
  TUnknownF* UnknownF;
  TCsvConvF* CsvConvF;
};
Forms CreateForms(const NumberTable* table, const std::string& data_version,
                  const std::string& exe_dir);

// What the whole application shares, set once before the forms: the forms'
// face for menus, message boxes and file dialogs too; Qt's own texts (file
// dialogs, buttons) in Japanese when `locale` is Japanese; the desktop entry
// the windows belong to.
void SetUpApplication(const QLocale& locale);

// QColor of a 0x00BBGGRR value.
QColor FromColorRef(uint32_t color);

}  // namespace nomvex::ui
