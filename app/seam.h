// Every message box, modal form, file dialog and link goes through here, so
// that tests can answer them before they open.
#pragma once

#include <QString>

#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QFileDialog;
class QMessageBox;
class QWidget;

namespace nomvex::ui {

// The application title: the caption of the simple message dialog.  Window
// titles are the forms' captions alone, so no display name is set.
inline constexpr const char* kAppTitle = "Nomvex";

enum class Icon { kNone, kStop };

struct Shown {
  QString caption;
  QString text;
  Icon icon;
};

class Seam {
 public:
  // The application's message box: OK, the caption and the icon.
  static void messageBox(QWidget* parent, const QString& text, const QString& caption, Icon icon);
  // The box messageBox shows (for tests, which show it themselves).
  static QMessageBox* makeMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                     Icon icon);
  // The simple message dialog: OK, the application title, no icon.
  static void showMessage(QWidget* parent, const QString& text);
  // Shows a form modally and gives its result.
  static int exec(QDialog* dialog);
  // Runs a file dialog; the chosen name, or empty when cancelled.
  static QString chooseFile(QFileDialog* dialog);
  static void openUrl(const QString& url);

  // For tests: nothing opens; messages are recorded, modal forms are
  // answered by onExec, file dialogs by nextFileNames (empty: cancelled).
  static void setTestMode(bool on);
  static bool testMode();
  static std::vector<Shown> shown;
  static std::function<int(QDialog*)> onExec;
  static std::deque<QString> nextFileNames;
  static std::vector<QString> openedUrls;
};

}  // namespace nomvex::ui
