#include "app/csv_conv_form.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/seam.h"
#include "app/widgets.h"

namespace nomvex::ui {
namespace {

// Qt's filter form of "CSV・テキストファイル (*.csv;*.txt)|*.csv;*.txt|...":
// patterns are separated by blanks there.
const QStringList kFilters = {
    QStringLiteral("CSV・テキストファイル (*.csv *.txt)"),
    QStringLiteral("CSVファイル (*.csv)"),
    QStringLiteral("テキストファイル (*.txt)"),
    QStringLiteral("すべてのファイル (*)"),
};

QFileDialog* MakeFileDialog(QWidget* parent, bool save) {
  auto* d = new QFileDialog(parent);
  d->setNameFilters(kFilters);
  d->setDefaultSuffix(QStringLiteral("csv"));
  d->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The open dialog takes only an existing file; the save dialog asks nothing.
  d->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) d->setOption(QFileDialog::DontConfirmOverwrite);
  return d;
}

}  // namespace

TCsvConvF::TCsvConvF(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CsvConvF"));
  setWindowTitle(QStringLiteral("CSVファイルの一括解析"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(UiFont());
  setFixedSize(358, 88);
  move(278, 358);

  auto label = [this](const QString& text, int top) {
    auto* l = new QLabel(text, this);
    l->setGeometry(12, top, 38, 12);
    FitLabel(l);
  };
  label(QStringLiteral("変換元:"), 12);
  label(QStringLiteral("変換先:"), 36);
  SrcFile = new QLineEdit(this);
  SrcFile->setGeometry(52, 8, 233, 20);
  Button1 = new Button(QStringLiteral("参照(&1)..."), this);
  Button1->setGeometry(288, 8, 61, 21);
  DstFile = new QLineEdit(this);
  DstFile->setGeometry(52, 32, 233, 20);
  Button2 = new Button(QStringLiteral("参照(&2)..."), this);
  Button2->setGeometry(288, 32, 61, 21);
  ConvBtn = new Button(QStringLiteral("OK"), this);
  ConvBtn->setGeometry(192, 60, 77, 21);
  Button3 = new Button(QStringLiteral("キャンセル"), this);
  Button3->setGeometry(272, 60, 77, 21);
  setTabOrder(SrcFile, Button1);
  setTabOrder(Button1, DstFile);
  setTabOrder(DstFile, Button2);
  setTabOrder(Button2, ConvBtn);
  setTabOrder(ConvBtn, Button3);

  OpenDialog1 = MakeFileDialog(this, false);
  SaveDialog1 = MakeFileDialog(this, true);
  connect(Button1, &QPushButton::clicked, this, [this] { Browse(OpenDialog1, SrcFile); });
  connect(Button2, &QPushButton::clicked, this, [this] { Browse(SaveDialog1, DstFile); });
  connect(ConvBtn, &QPushButton::clicked, this, [this] { done(1); });
  connect(Button3, &QPushButton::clicked, this, [this] { done(2); });
}

void TCsvConvF::Browse(QFileDialog* dialog, QLineEdit* box) {
  QString name = Seam::chooseFile(dialog);
  if (name.isEmpty()) return;
  box->setText(name);
  dialog->selectFile(name);  // offered again next time
}

void TCsvConvF::showEvent(QShowEvent* e) {
  SrcFile->setText(preset_source_);
  DstFile->clear();
  if (!preset_source_.isEmpty()) DstFile->setFocus();  // what is left to fill in
  preset_source_.clear();
  QDialog::showEvent(e);
}

void TCsvConvF::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) return;  // Escape does not close it
  QDialog::keyPressEvent(e);
}

}  // namespace nomvex::ui
