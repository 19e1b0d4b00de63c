#include "app/widgets.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionFrame>
#include <QTextDocumentFragment>

#include <cmath>

#include "app/author.h"
#include "app/seam.h"

namespace nomvex::ui {

// Fonts are looked up by any of their names: fontconfig lists a face under
// its name in the user's language (IPAPGothic is "IPA Pゴシック" to a
// Japanese user).
QFont UiFont() {
  QFont font;
  for (const char* family : {"ＭＳ Ｐゴシック", "IPAPGothic"}) {
    if (QFontDatabase::hasFamily(QString::fromUtf8(family))) {
      font = QFont(QString::fromUtf8(family));
      break;
    }
  }
  font.setPixelSize(12);
  return font;
}

QFont NumberFont() {
  if (QFontDatabase::hasFamily(QStringLiteral("FixedSys"))) {
    QFont font(QStringLiteral("FixedSys"));
    font.setPixelSize(19);
    return font;
  }
  // Scalable stand-ins: 16 pixels gives 8-pixel digits that fit the boxes.
  const bool ipa = QFontDatabase::hasFamily(QStringLiteral("IPAGothic"));
  QFont font = ipa ? QFont(QStringLiteral("IPAGothic")) : QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(ipa ? 16 : 14);
  return font;
}

QFont FittedFont(QFont font, const QString& text, qreal width) {
  qreal natural = QFontMetricsF(font).horizontalAdvance(text);
  if (natural <= width || natural <= 0) return font;
  // Stretch is in whole percent and glyph advances round: step down to fit.
  // Never below 80%: a text that needs more is left to its widget to clip.
  for (int stretch = static_cast<int>(std::floor(100 * width / natural)); stretch >= 80; --stretch) {
    font.setStretch(stretch);
    if (QFontMetricsF(font).horizontalAdvance(text) <= width) break;
  }
  return font;
}

void FitLabel(QLabel* label) {
  QString text = label->text();
  if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text)))
    text = QTextDocumentFragment::fromHtml(text).toPlainText();
  QFont font = label->font();
  font.setStretch(QFont::AnyStretch);
  label->setFont(FittedFont(font, text, label->contentsRect().width()));
  GrowToLine(label);
}

void GrowToLine(QWidget* widget, int extra) {
  const int need = QFontMetrics(widget->font()).height() + extra;
  if (widget->height() >= need) return;
  const int grow = need - widget->height();
  widget->setGeometry(widget->x(), widget->y() - grow / 2, widget->width(), need);
}

void KeepTextWhole(QLineEdit* box) {
  const QFont base = box->font();
  auto fit = [box, base] {
    // The text's room as the box lays it out: the style's contents rectangle
    // less the text margins and the box's own two pixels a side, and one
    // pixel for the caret.
    QStyleOptionFrame opt;
    opt.initFrom(box);
    opt.rect = box->rect();
    opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
    QRect r = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
    r = r.marginsRemoved(box->textMargins());
    box->setFont(FittedFont(base, box->text(), r.width() - 4 - 1));
  };
  QObject::connect(box, &QLineEdit::textChanged, box, fit);
  fit();
}

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen();
  if (window->parentWidget()) screen = window->parentWidget()->screen();
  if (!screen) return;
  const QRect frame = window->frameGeometry();
  window->move(screen->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

QPixmap ProgramIcon(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  p.setBrush(QColor(0x20, 0x40, 0x90));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(8, 1, 16, 30, 3, 3);  // a handset
  p.setBrush(QColor(0xBF, 0xFF, 0xFF));
  p.drawRect(10, 4, 12, 10);
  p.setBrush(Qt::white);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) p.drawRect(11 + c * 4, 17 + r * 4, 2, 2);
  return pm;
}

Button::Button(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setAutoDefault(false);
  setDefault(false);
}

void Button::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
      !(e->modifiers() & ~Qt::KeypadModifier)) {
    click();
    e->accept();
    return;
  }
  QPushButton::keyPressEvent(e);
}

ExLabel::ExLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

void ExLabel::setText(const QString& text) {
  text_ = text;
  setToolTip(shownText() == text_ ? QString() : text_);
  update();
}

QString ExLabel::shownText() const {
  // One pixel of the width goes to the raised copy.
  return fontMetrics().elidedText(text_, Qt::ElideRight, width() - 1);
}

int ExLabel::baseline() const {
  // The line centred in the height less the raised copy's pixel.
  return (height() - 1 - fontMetrics().height()) / 2 + fontMetrics().ascent();
}

void ExLabel::paintEvent(QPaintEvent*) {
  // No background of its own: the dialog's face shows through, so that
  // labels grown into each other's margins do not paint over each other.
  QPainter p(this);
  p.setFont(font());
  const QString text = shownText();
  const int x = (width() - 1 - fontMetrics().horizontalAdvance(text)) / 2;
  p.setPen(Qt::white);
  p.drawText(x + 1, baseline() + 1, text);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(x, baseline(), text);
}

LinesLabel::LinesLabel(const QStringList& lines, int pitch, QWidget* parent)
    : QWidget(parent), lines_(lines), pitch_(pitch) {}

int LinesLabel::baseline(int i) const {
  return i * pitch_ + qRound(QFontMetricsF(lineFont(i)).ascent());
}

void LinesLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  for (int i = 0; i < lines_.size(); ++i) {
    QFont f = lineFont(i);
    p.setFont(f);
    p.drawText(0, baseline(i), lines_[i]);
  }
}

GroupBox::GroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void GroupBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QFontMetrics fm = fontMetrics();
  const int mid = fm.height() / 2;
  // An etched frame: a shadow line with a light line inside it.
  const QRect frame = rect().adjusted(0, mid, -1, -1);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(frame.adjusted(0, 0, -1, -1));
  p.setPen(palette().color(QPalette::Light));
  p.drawRect(frame.adjusted(1, 1, 0, 0));
  // The caption, with a little of the face colour either side, cuts the line.
  const QString caption = title();
  QRect cap(8, 0, fm.horizontalAdvance(caption) + 4, fm.height());
  p.fillRect(cap, palette().color(QPalette::Window));
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  p.drawText(cap, Qt::AlignCenter, caption);
}

UrlLabel::UrlLabel(const QString& caption, const QString& url, QWidget* parent)
    : QLabel(caption, parent), url_(url) {
  setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  setCursor(Qt::PointingHandCursor);
  setColor(Qt::blue);
}

void UrlLabel::setColor(const QColor& c) {
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, c);
  setPalette(pal);
}

void UrlLabel::mousePressEvent(QMouseEvent* e) {
  pressed_ = true;
  setColor(Qt::red);
  e->accept();
}

void UrlLabel::mouseReleaseEvent(QMouseEvent* e) {
  bool open = pressed_ && rect().contains(e->position().toPoint());
  pressed_ = false;
  if (open) {
    visited_ = true;
    Seam::openUrl(url_.isEmpty() ? text() : url_);
  }
  setColor(visited_ ? QColor(0x00, 0x00, 0x80) : QColor(Qt::blue));
  e->accept();
}

UrlImage::UrlImage(const QString& url, QWidget* parent) : QLabel(parent), url_(url) {
  QPixmap banner(88, 31);
  QPainter p(&banner);
  QLinearGradient g(0, 0, 0, 31);
  g.setColorAt(0, QColor(0x40, 0x70, 0xC0));
  g.setColorAt(1, QColor(0x10, 0x30, 0x70));
  p.fillRect(banner.rect(), g);
  p.setPen(Qt::white);
  p.drawRect(0, 0, 87, 30);
  QFont f = UiFont();
  f.setBold(true);
  f.setPixelSize(14);
  p.setFont(f);
  p.drawText(banner.rect(), Qt::AlignCenter, QString::fromUtf8(author::kBannerText));
  p.end();
  setPixmap(banner);
  setFixedSize(88, 31);
  setCursor(Qt::PointingHandCursor);
}

void UrlImage::mouseReleaseEvent(QMouseEvent* e) {
  if (!url_.isEmpty() && rect().contains(e->position().toPoint())) Seam::openUrl(url_);
  e->accept();
}

}  // namespace nomvex::ui
