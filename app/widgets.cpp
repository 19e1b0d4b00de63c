#include "app/widgets.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>

#include "app/author.h"
#include "app/seam.h"

namespace nomvex::ui {

QFont UiFont() {
  QString family = QStringLiteral("ＭＳ Ｐゴシック");
  const QStringList families = QFontDatabase::families();
  if (!families.contains(family)) {
    family = QStringLiteral("IPAPGothic");
    if (!families.contains(family)) family = QFont().family();
  }
  QFont font(family);
  font.setPixelSize(12);
  return font;
}

QFont NumberFont() {
  QFont font = QFontDatabase::families().contains(QStringLiteral("FixedSys"))
                   ? QFont(QStringLiteral("FixedSys"))
                   : QFontDatabase::systemFont(QFontDatabase::FixedFont);
  // FixedSys is a 19-pixel bitmap face; a scalable stand-in fits the box at 15.
  font.setPixelSize(font.family() == QStringLiteral("FixedSys") ? 19 : 15);
  return font;
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

ExLabel::ExLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

void ExLabel::setText(const QString& text) {
  text_ = text;
  update();
}

void ExLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  p.setFont(font());
  p.setPen(Qt::white);
  p.drawText(rect().translated(1, 1), Qt::AlignHCenter | Qt::AlignVCenter, text_);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(rect(), Qt::AlignHCenter | Qt::AlignVCenter, text_);
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
