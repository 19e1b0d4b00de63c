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
};

}  // namespace nomvex::ui
