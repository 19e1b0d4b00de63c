// The real widgets, driven by the keyboard under the offscreen platform; the
// dialog seam answers every modal before it opens.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>

#include "app/csv_conv_form.h"
#include "app/forms.h"
#include "app/seam.h"
#include "app/widgets.h"
#include "platform/codepage.h"
#include "table/number_table.h"
#include "tests/test_util.h"

using namespace nomvex;
using namespace nomvex::ui;

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
    QApplication::setActiveWindow(f_.NomvexF);
    QVERIFY(QTest::qWaitForWindowExposed(f_.NomvexF));
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
    QApplication::setApplicationDisplayName(QStringLiteral("Nomvex"));
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

  void dialogsCloseWithOkNotEscape() {
    Start("test 1");
    for (QDialog* d : {static_cast<QDialog*>(f_.AboutF), static_cast<QDialog*>(f_.UnknownF)}) {
      d->show();
      QTest::keyClick(d, Qt::Key_Escape);
      QVERIFY(d->isVisible());
      QPushButton* ok = d->findChild<QPushButton*>();
      ok->setFocus();
      QTest::keyClick(ok, Qt::Key_Space);
      QVERIFY(!d->isVisible());
    }
    QCOMPARE(platform::ToCp932(f_.UnknownF->Label2->text().toStdString()).size(), size_t{259});
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
