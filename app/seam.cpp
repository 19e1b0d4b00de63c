#include "app/seam.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include <memory>

namespace nomvex::ui {
namespace {
bool test_mode = false;
}

std::vector<Shown> Seam::shown;
std::function<int(QDialog*)> Seam::onExec;
std::deque<QString> Seam::nextFileNames;
std::vector<QString> Seam::openedUrls;

void Seam::setTestMode(bool on) { test_mode = on; }
bool Seam::testMode() { return test_mode; }

void Seam::messageBox(QWidget* parent, const QString& text, const QString& caption, Icon icon) {
  if (test_mode) {
    shown.push_back({caption, text, icon});
    return;
  }
  std::unique_ptr<QMessageBox> box(makeMessageBox(parent, text, caption, icon));
  box->exec();
}

QMessageBox* Seam::makeMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                  Icon icon) {
  return new QMessageBox(icon == Icon::kStop ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                         text, QMessageBox::Ok, parent);
}

void Seam::showMessage(QWidget* parent, const QString& text) {
  messageBox(parent, text, QString::fromUtf8(kAppTitle), Icon::kNone);
}

int Seam::exec(QDialog* dialog) {
  if (test_mode) {
    // Shown for real (its show handler runs), answered by the test, hidden.
    dialog->show();
    int result = onExec ? onExec(dialog) : QDialog::Rejected;
    dialog->hide();
    return result;
  }
  return dialog->exec();
}

QString Seam::chooseFile(QFileDialog* dialog) {
  if (test_mode) {
    if (nextFileNames.empty()) return {};
    QString name = nextFileNames.front();
    nextFileNames.pop_front();
    return name;
  }
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
  return dialog->selectedFiles().first();
}

void Seam::openUrl(const QString& url) {
  if (test_mode) {
    openedUrls.push_back(url);
    return;
  }
  QDesktopServices::openUrl(QUrl(url));
}

}  // namespace nomvex::ui
