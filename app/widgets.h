// Stand-ins for the ready-made components the dialogs use: the raised 3-D
// label, the mail link and the banner link; and the program's fonts.
#pragma once

#include <QFont>
#include <QLabel>
#include <QWidget>

namespace nomvex::ui {

// "ＭＳ Ｐゴシック" where installed, otherwise a Japanese proportional font
// of similar metrics; 12 pixels high.
QFont UiFont();
// "FixedSys" where installed, otherwise the system's fixed-width font.
QFont NumberFont();
// The program's icon, drawn here rather than shipped as a file.
QPixmap ProgramIcon(int size);

// Text drawn twice: in white one pixel right and down, then in the font's
// colour, so that it looks raised.  Centred.
class ExLabel : public QWidget {
  Q_OBJECT
 public:
  explicit ExLabel(const QString& text, QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QString text_;
};

// A link: blue, red while pressed, navy once used for the rest of the run.
// Opens only when the button is released over it.
class UrlLabel : public QLabel {
  Q_OBJECT
 public:
  UrlLabel(const QString& caption, const QString& url, QWidget* parent = nullptr);
  bool visited() const { return visited_; }

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  void setColor(const QColor& c);
  QString url_;
  bool pressed_ = false;
  bool visited_ = false;
};

// The 88 x 31 homepage banner; a click opens its address.
class UrlImage : public QLabel {
  Q_OBJECT
 public:
  UrlImage(const QString& url, QWidget* parent = nullptr);

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  QString url_;
};

}  // namespace nomvex::ui
