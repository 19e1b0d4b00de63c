// The annotation dialog: a source and a destination name, typed or chosen.
#pragma once

#include <QDialog>

class QFileDialog;
class QLineEdit;
class QPushButton;

namespace nomvex::ui {

class TCsvConvF : public QDialog {
  Q_OBJECT
 public:
  explicit TCsvConvF(QWidget* parent = nullptr);
  // The next showing starts with this source (and an empty destination).
  void PresetSource(const QString& name) { preset_source_ = name; }

  QLineEdit* SrcFile;
  QLineEdit* DstFile;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* ConvBtn;
  QPushButton* Button3;

 protected:
  void showEvent(QShowEvent* e) override;  // FormShow
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Browse(QFileDialog* dialog, QLineEdit* box);
  QFileDialog* OpenDialog1;
  QFileDialog* SaveDialog1;
  QString preset_source_;
};

}  // namespace nomvex::ui
