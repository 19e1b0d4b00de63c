// The real widgets, driven by the keyboard, under the offscreen platform and
// at a real X server with a window manager (tests/app/on_x.sh), where focus,
// titles, placement and fonts are what users meet.  The dialog seam answers
// every modal before it opens.
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTextDocumentFragment>
#include <QtTest>

#include <filesystem>
#include <memory>

#include "app/csv_conv_form.h"
#include "app/forms.h"
#include "app/seam.h"
#include "app/widgets.h"
#include "platform/codepage.h"
#include "table/number_table.h"
#include "tests/test_util.h"

using namespace nomvex;
using namespace nomvex::ui;

namespace {

bool OnX() { return QGuiApplication::platformName() == QStringLiteral("xcb"); }

// A window property as the window manager reads it.
QString XProperty(QWidget* window, const char* property) {
  QProcess xprop;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  xprop.setProcessEnvironment(env);
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-notype"), QStringLiteral("-id"),
                                        QString::number(window->winId()), QString::fromUtf8(property)});
  xprop.waitForFinished();
  return QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
}

// Where a box lays its text out: the style's contents less the text margins
// and the box's two pixels a side.
QRect LineEditTextRect(QLineEdit* box) {
  QStyleOptionFrame opt;
  opt.initFrom(box);
  opt.rect = box->rect();
  opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
  QRect r = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
  return r.marginsRemoved(box->textMargins()).adjusted(2, 0, -2, 0);
}

// Why a widget's text does not fit its rectangle, or nothing.  `width` is
// the room across; `band` the rows the text may use; `baseline` where the
// widget puts the baseline (as it draws: a line box centred in the rows).
QString Overflow(QWidget* w) {
  auto check = [w](const QString& text, const QFont& font, qreal width, QRect band, int baseline = -1) {
    const QFontMetricsF fm(font);
    if (baseline < 0) baseline = band.top() + (band.height() - QFontMetrics(font).height()) / 2 + QFontMetrics(font).ascent();
    const QRect ink = QFontMetrics(font).tightBoundingRect(text).translated(0, baseline);
    QString why;
    // Condensed a little to stand in for a narrower face, never squeezed.
    if (font.stretch() != QFont::AnyStretch && font.stretch() < 80)
      why += QStringLiteral(" condensed to %1%").arg(font.stretch());
    if (fm.horizontalAdvance(text) > width)
      why += QStringLiteral(" %1 px wide in %2").arg(fm.horizontalAdvance(text)).arg(width);
    if (ink.top() < band.top() || ink.bottom() > band.bottom())
      why += QStringLiteral(" ink on rows %1-%2 of %3-%4").arg(ink.top()).arg(ink.bottom()).arg(band.top()).arg(band.bottom());
    return why.isEmpty() ? why : QStringLiteral("%1 \"%2\":%3").arg(w->objectName(), text, why);
  };
  if (auto* l = qobject_cast<LinesLabel*>(w)) {
    QString why;
    if (l->pitch() != 12) why += QStringLiteral(" line pitch %1").arg(l->pitch());
    for (int i = 0; i < l->lines().size(); ++i)
      why += check(l->lines()[i], l->lineFont(i), l->width(), l->rect(), l->baseline(i));
    return why;
  }
  if (auto* l = qobject_cast<ExLabel*>(w))  // less a pixel for the raised copy
    return check(l->shownText(), l->font(), l->width() - 1, l->rect().adjusted(0, 0, 0, -1), l->baseline());
  if (auto* l = qobject_cast<QLabel*>(w)) {
    if (l->text().isEmpty() || !l->pixmap().isNull()) return {};
    return check(QTextDocumentFragment::fromHtml(l->text()).toPlainText(), l->font(), l->contentsRect().width(),
                 l->contentsRect());
  }
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    const QRect r = LineEditTextRect(e);
    return check(e->text(), e->font(), r.width() - 1, r);  // and a pixel for the caret
  }
  if (auto* b = qobject_cast<QPushButton*>(w)) {
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.rect = b->rect();
    return check(QString(b->text()).remove(QLatin1Char('&')), b->font(),
                 b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).width(), b->rect());
  }
  return {};
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  NumberTable table_;
  Forms f_{};
  test::TempDir dir_;

  void Start(const std::string& version) {
    Seam::shown.clear();
    Seam::openedUrls.clear();
    Seam::onExec = nullptr;
    f_ = CreateForms(&table_, version, dir_.path().string() + "/");
    f_.NomvexF->FormCreate();
    f_.NomvexF->show();
    QVERIFY(QTest::qWaitForWindowExposed(f_.NomvexF));
    Activate(f_.NomvexF);
  }
  // At a desktop the window manager gives the focus; offscreen, Qt is told.
  void Activate(QWidget* window) {
    if (OnX()) {
      // (QWindow::isActive counts a dialog active while its parent is.)
      window->activateWindow();
      QTRY_COMPARE(QApplication::activeWindow(), window);
    } else {
      QApplication::setActiveWindow(window);
    }
  }
  // A key as the user presses it: to whatever has the focus.
  void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    QVERIFY2(focus, "nothing has the focus");
    QTest::keyClick(focus, static_cast<Qt::Key>(key), mods);
  }
  void Examine(const QString& prefix, const QString& number, QLineEdit* where_enter = nullptr) {
    f_.NomvexF->TelType->setText(prefix);
    f_.NomvexF->TelNo->setText(number);
    QTest::keyClick(where_enter ? where_enter : f_.NomvexF->TelNo, Qt::Key_Return);
  }
  QColor Base(QLineEdit* box) { return box->palette().color(QPalette::Base); }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
    QApplication::setActiveWindow(f_.NomvexF);  // a modal may have taken it
    QTest::keyClick(f_.NomvexF, static_cast<Qt::Key>(key), mods);
  }

 private slots:
  void initTestCase() {
    Seam::setTestMode(true);
    SetUpApplication(QLocale(QLocale::Japanese, QLocale::Japan));
    auto sj = [](const char* s) { return platform::ToCp932(s); };
    table_.Assign({{"hdr", "test 1"},
                   {"hd2", ""},
                   {"0901234", sj("DoCoMo 関東")},
                   {"0801234", sj("IDO 首都")},
                   {"0701234", sj("セルラー 九州")},
                   {"0801111", sj("DoCoMo ")},
                   {"0902000", sj("SoftBank 全国")},
                   {"0709000", sj("楽天モバイル 全国")},
                   {"0903800", sj("セルラー 沖縄")}});
  }
  void cleanup() {
    delete f_.NomvexF;
    f_ = {};
  }

  void startsWithTheTableAndItsVersion() {
    Start("test 1");
    QVERIFY(Seam::shown.empty());
    QCOMPARE(f_.AboutF->ExLabel2->text(), QStringLiteral("Data : test 1"));
    QCOMPARE(f_.NomvexF->windowTitle(), QStringLiteral("Nomvex"));
    QCOMPARE(f_.NomvexF->centralWidget()->size(), QSize(302, 90));
    QCOMPARE(QApplication::focusWidget(), f_.NomvexF->TelNo);
    QVERIFY(!(f_.NomvexF->windowFlags() & Qt::WindowMaximizeButtonHint));
    // Tab order: TelNo, ExamineBtn, Com, Where, TelType, TelNo.
    QWidget* order[] = {f_.NomvexF->ExamineBtn, f_.NomvexF->Com, f_.NomvexF->Where,
                        f_.NomvexF->TelType, f_.NomvexF->TelNo};
    for (QWidget* next : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
  }

  void withoutTableTheCommandsAreDisabled() {
    Start("");
    QCOMPARE(Seam::shown.size(), size_t{1});
    QCOMPARE(Seam::shown[0].text, QStringLiteral("データファイルが存在しないか、内容が異常です。"));
    QCOMPARE(Seam::shown[0].caption, QStringLiteral("エラー"));
    QVERIFY(Seam::shown[0].icon == Icon::kStop);
    QVERIFY(!f_.NomvexF->ExamineBtn->isEnabled());
    QVERIFY(!f_.NomvexF->CsvConvMnu->isEnabled());
    QCOMPARE(f_.AboutF->ExLabel2->text(), QStringLiteral("No Data"));
    int opened = 0;
    Seam::onExec = [&](QDialog*) { return ++opened, 1; };
    Examine("090", "12345678");
    Key(Qt::Key_S);
    QCOMPARE(opened, 0);
    QVERIFY(f_.NomvexF->Com->text().isEmpty());
    Key(Qt::Key_K);  // the rest still works
    QCOMPARE(f_.NomvexF->TelType->text(), QStringLiteral("090"));
  }

  void examinesFromEveryBox() {
    Start("test 1");
    for (QLineEdit* box : {f_.NomvexF->TelType, f_.NomvexF->TelNo, f_.NomvexF->Com, f_.NomvexF->Where}) {
      f_.NomvexF->Com->clear();
      Examine("090", "12345678", box);
      QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("DoCoMo"));
      QCOMPARE(f_.NomvexF->Where->text(), QStringLiteral("関東"));
      QCOMPARE(Base(f_.NomvexF->Com), QColor(255, 255, 191));
      QCOMPARE(Base(f_.NomvexF->Where), QColor(255, 255, 191));
      QCOMPARE(QApplication::focusWidget(), f_.NomvexF->TelNo);
    }
  }

  void inputErrorsInOrder() {
    Start("test 1");
    Examine("090", "12345678");
    Examine("050", "");
    Examine("080", "");
    QCOMPARE(Seam::shown.size(), size_t{2});
    QCOMPARE(Seam::shown[0].text, QStringLiteral("携帯は \"090/080\"、PHSは \"070\" です。"));
    QCOMPARE(Seam::shown[1].text, QStringLiteral("電話番号が入力されていません。"));
    QCOMPARE(Seam::shown[1].caption, QStringLiteral("番号エラー"));
    QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("DoCoMo"));  // left as it was
  }

  void mergeSwitchAndColours() {
    Start("test 1");
    Examine("080", "1234");
    QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("au"));
    QCOMPARE(f_.NomvexF->Where->text(), QStringLiteral("関東"));
    QCOMPARE(Base(f_.NomvexF->Com), QColor(191, 255, 191));
    Key(Qt::Key_I);  // hidden, yet it answers its shortcut
    QVERIFY(f_.NomvexF->ConvIdoMnu->isChecked());
    Examine("070", "1234");
    QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("セルラー"));
    QCOMPARE(Base(f_.NomvexF->Where), QColor(191, 191, 255));
    Examine("080", "1234");
    QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("IDO"));
    QCOMPARE(f_.NomvexF->Where->text(), QStringLiteral("首都"));
    Key(Qt::Key_I);
    QVERIFY(!f_.NomvexF->ConvIdoMnu->isChecked());
  }

  // Today's operators, as the default table names them: each in its colour,
  // its name whole in the box; セルラー merged into au unless Ctrl+I.
  void todaysOperatorsInTheirColours() {
    Start("test 1");
    const struct {
      const char *prefix, *number, *com, *where;
      QColor color;
    } cases[] = {
        {"090", "2000", "SoftBank", "全国", QColor(255, 191, 191)},
        {"070", "9000", "楽天モバイル", "全国", QColor(255, 191, 255)},
        {"090", "3800", "au", "沖縄", QColor(191, 255, 191)},
    };
    for (const auto& c : cases) {
      Examine(c.prefix, c.number);
      QCOMPARE(f_.NomvexF->Com->text(), QString::fromUtf8(c.com));
      QCOMPARE(f_.NomvexF->Where->text(), QString::fromUtf8(c.where));
      QCOMPARE(Base(f_.NomvexF->Com), c.color);
      QCOMPARE(Base(f_.NomvexF->Where), c.color);
      for (QLineEdit* box : {f_.NomvexF->Com, f_.NomvexF->Where}) {
        QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) <= box->contentsRect().width() - 4,
                 qPrintable(box->text()));
      }
    }
    Key(Qt::Key_I);
    Examine("090", "3800");
    QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("セルラー"));
    QCOMPARE(Base(f_.NomvexF->Com), QColor(191, 191, 255));
  }

  // The data line of the table the build makes fits About's label.
  void theDefaultTablesVersionFitsAbout() {
    NumberTable built;
    QCOMPARE(built.LoadNumberTable(NOMVEX_BUILT_TABLE), 0);
    Start(built.GetDataVersion());
    ExLabel* line = f_.AboutF->ExLabel2;
    QVERIFY(line->text().startsWith(QStringLiteral("Data : libphonenumber ")));
    // The raised lettering is drawn one pixel to the right as well.
    QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) + 1 <= line->width(),
             qPrintable(line->text()));
  }

  void unknownNumbersOpenTheDialog() {
    Start("test 1");
    QStringList numbers;
    Seam::onExec = [&](QDialog* d) {
      numbers << static_cast<TUnknownF*>(d)->TelNo->text();
      return 2;
    };
    Examine("090", "99999999");
    Examine("070", "12");
    Examine("080", "1111");  // operator known, region unknown
    QCOMPARE(numbers, (QStringList{"0909999", "07012", "0801111"}));
    QCOMPARE(f_.NomvexF->TelNo->text(), QStringLiteral("1111"));
    QCOMPARE(Base(f_.NomvexF->Com), QColor(255, 255, 191));
    QCOMPARE(QApplication::focusWidget(), f_.NomvexF->TelNo);
  }

  void clearCommandsAndAlwaysOnTop() {
    Start("test 1");
    struct {
      int key;
      QString prefix;
    } cases[] = {{Qt::Key_Q, ""}, {Qt::Key_K, "090"}, {Qt::Key_P, "070"}};
    for (const auto& c : cases) {
      Examine("090", "12345678");
      Key(c.key);
      QCOMPARE(f_.NomvexF->TelType->text(), c.prefix);
      QVERIFY(f_.NomvexF->TelNo->text().isEmpty() && f_.NomvexF->Com->text().isEmpty() &&
              f_.NomvexF->Where->text().isEmpty());
      QCOMPARE(Base(f_.NomvexF->Com), QColor(Qt::white));
      QCOMPARE(Base(f_.NomvexF->Where), QColor(Qt::white));
    }
    Key(Qt::Key_T);
    QVERIFY(f_.NomvexF->AlwaysTopMnu->isChecked());
    QVERIFY(f_.NomvexF->windowFlags() & Qt::WindowStaysOnTopHint);
    Key(Qt::Key_T);
    QVERIFY(!(f_.NomvexF->windowFlags() & Qt::WindowStaysOnTopHint));
  }

  // A focused button is pressed with Enter, keypad Enter or Space, in the
  // main window and in every dialog; Escape closes none of them.
  void focusedButtonsTakeEnterAndSpace() {
    Start("test 1");
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
      struct {
        QDialog* dialog;
        QPushButton* button;
        int result;
      } cases[] = {{f_.AboutF, f_.AboutF->Button1, QDialog::Rejected},
                   {f_.UnknownF, f_.UnknownF->Button1, QDialog::Rejected},
                   {f_.CsvConvF, f_.CsvConvF->ConvBtn, 1},
                   {f_.CsvConvF, f_.CsvConvF->Button3, 2}};
      for (const auto& c : cases) {
        const QString what = QStringLiteral("%1 %2 key %3").arg(c.dialog->objectName(), c.button->text()).arg(key);
        c.dialog->setResult(-1);
        c.dialog->show();
        Activate(c.dialog);
        Press(Qt::Key_Escape);
        QVERIFY2(c.dialog->isVisible(), qPrintable(what));
        c.button->setFocus();
        Press(key);
        QVERIFY2(!c.dialog->isVisible(), qPrintable(what));
        QCOMPARE(c.dialog->result(), c.result);
      }
      Activate(f_.NomvexF);
      f_.NomvexF->Com->clear();
      f_.NomvexF->TelNo->setText(QStringLiteral("12345678"));
      f_.NomvexF->ExamineBtn->setFocus();
      Press(key);
      QCOMPARE(f_.NomvexF->Com->text(), QStringLiteral("DoCoMo"));
      QCOMPARE(QApplication::focusWidget(), f_.NomvexF->TelNo);
    }
    QCOMPARE(platform::ToCp932(f_.UnknownF->Label2->text().toStdString()).size(), size_t{259});
  }

  // Every label and box shows its whole text in its rectangle, in the fonts
  // the program uses here, with the longest texts it is given.
  void textsFitTheirRectangles() {
    Start("lpn 9.0.35 / 26700");
    QCOMPARE(f_.AboutF->ExLabel2->shownText(), QStringLiteral("Data : lpn 9.0.35 / 26700"));
    f_.NomvexF->TelNo->setText(QStringLiteral("12345678"));
    f_.NomvexF->Com->setText(QStringLiteral("デジタルツーカー"));
    f_.NomvexF->Where->setText(QStringLiteral("北海道"));
    f_.UnknownF->TelNo->setText(QStringLiteral("0901234"));
    QStringList overflows;
    for (QWidget* form : std::initializer_list<QWidget*>{f_.NomvexF, f_.AboutF, f_.UnknownF, f_.CsvConvF}) {
      form->show();
      QVERIFY(QTest::qWaitForWindowExposed(form));
      for (QWidget* w : form->findChildren<QWidget*>()) {
        if (w->window() != form || !w->isVisible()) continue;
        if (w->objectName().isEmpty()) w->setObjectName(QString::fromUtf8(w->metaObject()->className()));
        if (QString why = Overflow(w); !why.isEmpty()) overflows << form->objectName() + QStringLiteral(": ") + why;
      }
      if (form != f_.NomvexF) form->hide();
    }
    QVERIFY2(overflows.isEmpty(), qPrintable(overflows.join(QStringLiteral("\n"))));

    // A data version longer than the line is cut, and shown whole on hover.
    const QString longer = QStringLiteral("Data : libphonenumber 8.12.57 (25190 blocks, 2026-12-01 build)");
    f_.AboutF->ExLabel2->setText(longer);
    QVERIFY(f_.AboutF->ExLabel2->shownText().endsWith(QChar(0x2026)));
    QVERIFY(Overflow(f_.AboutF->ExLabel2).isEmpty());
    QCOMPARE(f_.AboutF->ExLabel2->toolTip(), longer);
  }

  // The result group's frame runs through its caption, above the boxes.
  void resultFrameSitsUnderItsCaption() {
    Start("test 1");
    QImage image = f_.NomvexF->GroupBox2->grab().toImage();
    const QColor face = f_.NomvexF->GroupBox2->palette().color(QPalette::Window);
    const int x = image.width() - 3;  // right of the boxes
    int top = -1;
    for (int y = 0; y < image.height() && top < 0; ++y)
      if (image.pixelColor(x, y) != face) top = y;
    QVERIFY2(top >= 0 && top < f_.NomvexF->Com->y(), qPrintable(QString::number(top)));
    // The caption is drawn (dark pixels) above the boxes as well.
    bool caption = false;
    for (int y = 0; y < f_.NomvexF->Com->y(); ++y)
      for (int cx = 8; cx < 40; ++cx) caption |= image.pixelColor(cx, y).lightness() < 100;
    QVERIFY(caption);
  }

  // Window titles are exactly the captions, as the window manager shows them.
  void titlesAreTheCaptions() {
    if (!OnX()) QSKIP("titles are the window manager's: on X only");
    Start("test 1");
    std::unique_ptr<QMessageBox> error(Seam::makeMessageBox(f_.NomvexF, QStringLiteral("x"),
                                                            QStringLiteral("番号エラー"), Icon::kStop));
    std::unique_ptr<QMessageBox> done(Seam::makeMessageBox(f_.NomvexF, QStringLiteral("終了しました。"),
                                                           QString::fromUtf8(kAppTitle), Icon::kNone));
    struct {
      QWidget* window;
      QString title;
    } cases[] = {{f_.NomvexF, "Nomvex"},
                 {f_.AboutF, "バージョン情報"},
                 {f_.UnknownF, "未知の電話番号"},
                 {f_.CsvConvF, "CSVファイルの一括解析"},
                 {error.get(), "番号エラー"},
                 {done.get(), "Nomvex"}};
    for (const auto& c : cases) {
      c.window->show();
      QVERIFY(QTest::qWaitForWindowExposed(c.window));
      QCOMPARE(XProperty(c.window, "_NET_WM_NAME"), QStringLiteral("_NET_WM_NAME = \"%1\"").arg(c.title));
      if (c.window != f_.NomvexF) c.window->hide();
    }
  }

  // Always on top is set on the window as it is: the focus and what is typed
  // stay in the number box, also after a dialog was opened and closed.
  void alwaysOnTopKeepsTheFocus() {
    Start("test 1");
    Press(Qt::Key_1);
    const WId before = f_.NomvexF->winId();
    Press(Qt::Key_T, Qt::ControlModifier);
    QVERIFY(f_.NomvexF->AlwaysTopMnu->isChecked());
    QVERIFY(f_.NomvexF->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(f_.NomvexF->winId(), before);
    if (OnX()) QTRY_VERIFY(XProperty(f_.NomvexF, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    QVERIFY(f_.NomvexF->isActiveWindow());
    Press(Qt::Key_2);
    Seam::onExec = [this](QDialog* d) {
      Activate(d);
      Press(Qt::Key_Return);
      return d->result();
    };
    f_.NomvexF->About->trigger();
    // At a desktop the window manager gives the focus back; offscreen, the test.
    if (OnX())
      QTRY_COMPARE(QApplication::activeWindow(), f_.NomvexF);
    else
      Activate(f_.NomvexF);
    Press(Qt::Key_3);
    Press(Qt::Key_T, Qt::ControlModifier);
    QVERIFY(!(f_.NomvexF->windowFlags() & Qt::WindowStaysOnTopHint));
    if (OnX()) QTRY_VERIFY(!XProperty(f_.NomvexF, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
    Press(Qt::Key_4);
    QCOMPARE(f_.NomvexF->TelNo->text(), QStringLiteral("1234"));
    QCOMPARE(QApplication::focusWidget(), f_.NomvexF->TelNo);
  }

  // About and the unknown-number dialog open centred on the screen, each
  // time, wherever the main window is.
  void dialogsOpenCentredOnTheScreen() {
    Start("test 1");
    f_.NomvexF->move(0, 0);
    const QPoint centre = f_.NomvexF->screen()->geometry().center();
    for (QDialog* d : {static_cast<QDialog*>(f_.AboutF), static_cast<QDialog*>(f_.UnknownF)}) {
      for (int time = 0; time < 2; ++time) {
        QPoint shown_at;
        Seam::onExec = [&](QDialog* dialog) {
          if (!QTest::qWaitForWindowExposed(dialog)) return -1;
          shown_at = dialog->frameGeometry().center();
          return 0;
        };
        Seam::exec(d);
        // The window manager's frame is only known once it has been shown.
        QVERIFY2((shown_at - centre).manhattanLength() <= 16,
                 qPrintable(QStringLiteral("%1 centred at %2,%3").arg(d->objectName()).arg(shown_at.x()).arg(shown_at.y())));
        d->move(0, 0);
      }
    }
  }

  // Menus, message boxes and file dialogs use the forms' proportional face
  // (also where fontconfig names it in Japanese), and Qt's own texts are
  // Japanese.
  void menusAndQtDialogsSpeakTheFormsFace() {
    Start("test 1");
    const QString face = QFontInfo(UiFont()).family();
    QList<QWidget*> windows;
    for (QMenu* m : f_.NomvexF->menuBar()->findChildren<QMenu*>()) windows << m;
    std::unique_ptr<QMessageBox> box(Seam::makeMessageBox(f_.NomvexF, QStringLiteral("x"), QStringLiteral("y"), Icon::kStop));
    windows << box.get();
    QFileDialog files(f_.CsvConvF);
    files.setOption(QFileDialog::DontUseNativeDialog);
    windows << &files;
    windows << f_.NomvexF << f_.AboutF;
    for (QWidget* w : windows) {
      QCOMPARE(QFontInfo(w->font()).family(), face);
      // Proportional: small kana narrower than full width, unlike a
      // fixed-width Japanese face.
      QVERIFY2(QFontMetricsF(w->font()).horizontalAdvance(QStringLiteral("ファイル")) < 44, qPrintable(face));
    }
    auto* look_in = files.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    QVERIFY(look_in);
    QVERIFY2(look_in->text() != QStringLiteral("Look in:"), qPrintable(look_in->text()));
  }

  // "Open with": the dialog shows the file as the source and an empty
  // destination, and nothing is written until OK.
  void openWithShowsTheDialogFirst() {
    Start("test 1");
    const std::string src = dir_ / "open.csv", dst = dir_ / "open-out.csv";
    test::WriteFile(src, "a,090-1234-5678\r\n");
    QString shown_src, shown_dst;
    QWidget* focus = nullptr;
    Seam::onExec = [&](QDialog* d) {
      auto* c = static_cast<TCsvConvF*>(d);
      shown_src = c->SrcFile->text();
      shown_dst = c->DstFile->text();
      focus = c->focusWidget();
      return 2;
    };
    f_.NomvexF->AnnotateWithDialog(QString::fromStdString(src));
    QCOMPARE(shown_src, QString::fromStdString(src));
    QCOMPARE(shown_dst, QString());
    QCOMPARE(focus, f_.CsvConvF->DstFile);
    QCOMPARE(test::ReadFile(src), std::string("a,090-1234-5678\r\n"));
    QVERIFY(!std::filesystem::exists(src + ".bak"));
    QVERIFY(Seam::shown.empty());
    // The menu command afterwards starts empty again.
    Seam::onExec = [&](QDialog* d) {
      shown_src = static_cast<TCsvConvF*>(d)->SrcFile->text();
      return 2;
    };
    f_.NomvexF->CsvConvMnuClick();
    QCOMPARE(shown_src, QString());
    // Without a table nothing opens.
    cleanup();
    Start("");
    int opened = 0;
    Seam::onExec = [&](QDialog*) { return ++opened, 1; };
    f_.NomvexF->AnnotateWithDialog(QString::fromStdString(src));
    QCOMPARE(opened, 0);
  }

  void linksOpenOnlyWhenReleasedOnThem() {
    Start("test 1");
    f_.AboutF->show();
    auto* link = f_.AboutF->findChild<UrlLabel*>();
    QTest::mousePress(link, Qt::LeftButton);
    QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(-5, -5));
    QVERIFY(Seam::openedUrls.empty());
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(Seam::openedUrls.size(), size_t{1});
    QVERIFY(Seam::openedUrls[0].startsWith("mailto:"));
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    f_.AboutF->hide();
  }

  void annotationDialog() {
    Start("test 1");
    const std::string src = dir_ / "in.csv", dst = dir_ / "out.csv";
    test::WriteFile(src, "a,090-1234-5678\r\n");
    bool emptied = false;
    Seam::onExec = [&](QDialog* d) {
      auto* c = static_cast<TCsvConvF*>(d);
      emptied = c->SrcFile->text().isEmpty() && c->DstFile->text().isEmpty();
      // Enter in a box and Escape leave it open.
      QTest::keyClick(c->SrcFile, Qt::Key_Return);
      QTest::keyClick(c, Qt::Key_Escape);
      if (!c->isVisible()) return -1;
      Seam::nextFileNames = {QString::fromStdString(src)};
      QApplication::setActiveWindow(c);
      c->Button1->click();  // Alt+1 under a desktop; the offscreen platform routes no mnemonics
      c->DstFile->setText(QString::fromStdString(dst));
      return 1;
    };
    Key(Qt::Key_S);
    QVERIFY(emptied);
    QCOMPARE(Seam::shown.size(), size_t{1});
    QCOMPARE(Seam::shown[0].text, QStringLiteral("終了しました。"));
    QCOMPARE(Seam::shown[0].caption, QStringLiteral("Nomvex"));
    QVERIFY(Seam::shown[0].icon == Icon::kNone);
    QCOMPARE(QString::fromStdString(test::ReadFile(dst)),
             QString::fromStdString("a,090-1234-5678,DoCoMo," + platform::ToCp932("関東") + "\r\n"));

    // Cancel writes nothing; an empty source shows the load message only.
    std::filesystem::remove(dst);
    Seam::onExec = [&](QDialog* d) {
      static_cast<TCsvConvF*>(d)->DstFile->setText(QString::fromStdString(dst));
      return 2;
    };
    int asked = Seam::shown.size();
    Key(Qt::Key_S);
    QVERIFY(!std::filesystem::exists(dst));
    QCOMPARE(Seam::shown.size(), size_t(asked));
    Seam::onExec = [&](QDialog* d) {
      static_cast<TCsvConvF*>(d)->DstFile->setText(QString::fromStdString(dst));
      return 1;
    };
    Key(Qt::Key_S);
    QCOMPARE(Seam::shown.back().text, QStringLiteral("ファイルをロードできませんでした。"));
    QCOMPARE(Seam::shown.size(), size_t{2});
  }

  // Cancel in the progress stops a long run; it cleans up as a failure does
  // (no partial destination; in place, the file back under its name) and
  // says so.
  void progressCancelStopsAndCleansUp() {
    Start("test 1");
    const std::string src = dir_ / "long.csv", dst = dir_ / "long-out.csv";
    std::string lines;
    for (int i = 0; i < 120000; ++i) lines += "a name,090-1234-5678,some more text here\r\n";  // 4.8 MB
    test::WriteFile(src, lines);
    for (const std::string& to : {dst, src}) {
      bool cancelled = false;
      Seam::onExec = [&](QDialog* d) {
        auto* c = static_cast<TCsvConvF*>(d);
        c->SrcFile->setText(QString::fromStdString(src));
        c->DstFile->setText(QString::fromStdString(to));
        // Pressed as soon as the run first lets events through.
        QTimer::singleShot(0, f_.NomvexF, [&] {
          auto* progress = f_.NomvexF->findChild<QProgressDialog*>();
          if (!progress) return;
          progress->findChild<QPushButton*>()->click();
          cancelled = true;
        });
        return 1;
      };
      const size_t shown = Seam::shown.size();
      Key(Qt::Key_S);
      QVERIFY(cancelled);
      QCOMPARE(Seam::shown.size(), shown + 1);
      QVERIFY2(Seam::shown.back().text.startsWith(QStringLiteral("中断しました。")),
               qPrintable(Seam::shown.back().text));
      QVERIFY(!std::filesystem::exists(dst));
      QVERIFY(test::ReadFile(src) == lines);
      QVERIFY(!std::filesystem::exists(src + ".bak"));
    }
  }

  void annotationDialogFollowsTheSourcesEncoding() {
    Start("test 1");
    const std::string dst = dir_ / "out.csv";
    std::string src;
    Seam::onExec = [&](QDialog* d) {
      auto* c = static_cast<TCsvConvF*>(d);
      c->SrcFile->setText(QString::fromStdString(src));
      c->DstFile->setText(QString::fromStdString(dst));
      return 1;
    };
    // Excel's CSV UTF-8: the fields in UTF-8, the BOM kept.
    src = dir_ / "utf8.csv";
    test::WriteFile(src, "\xEF\xBB\xBF名前,電話\r\n山田,090-1234-5678\r\n");
    Key(Qt::Key_S);
    QCOMPARE(Seam::shown.back().text, QStringLiteral("終了しました。"));
    QCOMPARE(QString::fromStdString(test::ReadFile(dst)),
             QString::fromUtf8("\xEF\xBB\xBF山田,090-1234-5678,DoCoMo,関東\r\n"));
    // "Unicode text" (UTF-16) is refused, and nothing is written.
    std::filesystem::remove(dst);
    src = dir_ / "utf16.txt";
    test::WriteFile(src, std::string("\xFF\xFE" "0\0" "9\0", 6));
    Key(Qt::Key_S);
    QVERIFY(Seam::shown.back().text.startsWith(QStringLiteral("UTF-16・UTF-32 のファイルには対応していません。")));
    QVERIFY(!std::filesystem::exists(dst));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
