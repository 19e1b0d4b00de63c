// Stand-ins for the ready-made components the dialogs use: the raised 3-D
// label, the mail link and the banner link; and the program's fonts.
#pragma once

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

class QLineEdit;

namespace nomvex::ui {

// "ＭＳ Ｐゴシック" where installed, otherwise a Japanese proportional font
// of similar metrics; 12 pixels high.
QFont UiFont();
// "FixedSys" where installed, otherwise IPAGothic, whose half-width digits
// are 8 pixels wide as FixedSys's are, otherwise the system's fixed font.
QFont NumberFont();
// The forms are laid out in pixels for ＭＳ Ｐゴシック; a stand-in face is a
// little wider.  The font, condensed just enough for `text` to take at most
// `width` pixels (unchanged when it fits; at most to 80%).
QFont FittedFont(QFont font, const QString& text, qreal width);
// A 12-pixel stand-in face takes 13 rows, its brackets and descenders
// included: a one-line label grows about its middle to hold them whole
// (and `extra` rows more, for a raised copy).
void GrowToLine(QWidget* widget, int extra = 1);
// Condenses a label's font so that its text fits the label's width, and
// lets it grow to the face's line.
void FitLabel(QLabel* label);
// Keeps a read-only box's text whole: condensed as each text is set.
void KeepTextWhole(QLineEdit* box);
// Shows a window centred on its screen.
void CentreOnScreen(QWidget* window);
// The program's icon, drawn here rather than shipped as a file.
QPixmap ProgramIcon(int size);

// A button that Enter presses while it has the focus, as Space does, in the
// main window and in dialogs alike; it is never a dialog's default button,
// so Enter in a box beside it does not press it.
class Button : public QPushButton {
  Q_OBJECT
 public:
  Button(const QString& text, QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

// Text drawn twice: in white one pixel right and down, then in the font's
// colour, so that it looks raised.  Centred; a text too long for the label
// is cut with "…" and shown whole as its tooltip.
class ExLabel : public QWidget {
  Q_OBJECT
 public:
  explicit ExLabel(const QString& text, QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const { return text_; }
  QString shownText() const;  // as drawn
  int baseline() const;        // where it is drawn (the raised copy a pixel lower)

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QString text_;
};

// Lines of text at a fixed pitch (the fonts' own line spacing is wider
// than the forms were laid out for); each line is fitted to the width.
class LinesLabel : public QWidget {
  Q_OBJECT
 public:
  LinesLabel(const QStringList& lines, int pitch, QWidget* parent = nullptr);
  // The lines joined by CR LF.
  QString text() const { return lines_.join(QStringLiteral("\r\n")); }
  QStringList lines() const { return lines_; }
  int pitch() const { return pitch_; }
  QFont lineFont(int i) const { return FittedFont(font(), lines_[i], width()); }
  // Line i's baseline: its line box starts at the top of its band.
  int baseline(int i) const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QStringList lines_;
  int pitch_;
};

// A group box drawn as the forms expect: the frame's top line through the
// middle of the caption, the caption at the top left, children where they
// are put.
class GroupBox : public QGroupBox {
  Q_OBJECT
 public:
  GroupBox(const QString& title, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent*) override;
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
