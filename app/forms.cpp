#include "app/forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTranslator>
#include <QWindow>

#include <atomic>

#include "annotate/convert.h"
#include "app/csv_conv_form.h"
#include "app/author.h"
#include "app/seam.h"
#include "app/widgets.h"
#include "examine/rules.h"
#include "platform/codepage.h"
#include "table/number_table.h"

namespace nomvex::ui {
namespace {

std::string Bytes(const QLineEdit* box) { return platform::ToCp932(box->text().toStdString()); }
QString Text(std::string_view cp932) { return QString::fromStdString(platform::FromCp932(cp932)); }
QString Utf8(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QLineEdit* Edit(QWidget* parent, int x, int y, int w, int h) {
  auto* e = new QLineEdit(parent);
  e->setGeometry(x, y, w, h);
  return e;
}

QLabel* Label(QWidget* parent, const QString& text, int x, int y, int w, int h,
             const QFont* font = nullptr) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(x, y, w, h);
  if (font) l->setFont(*font);
  FitLabel(l);
  return l;
}

void DialogFrame(QDialog* d, const QString& caption, int w, int h) {
  d->setWindowTitle(caption);
  d->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  d->setFont(UiFont());
  d->setFixedSize(w, h);
}

UrlLabel* MailLink(QWidget* parent, int x, int y, int w, int h) {
  auto* l = new UrlLabel(Utf8(author::kMail), QStringLiteral("mailto:") + Utf8(author::kMail), parent);
  l->setGeometry(x, y, w, h);
  FitLabel(l);
  l->setToolTip(QStringLiteral("メール"));
  return l;
}

UrlImage* Banner(QWidget* parent, const char* url, int x, int y) {
  auto* b = new UrlImage(Utf8(url), parent);
  b->move(x, y);
  b->setToolTip(QStringLiteral("ホームページ"));
  return b;
}

QPushButton* OkButton(QDialog* d, int x, int y) {
  auto* b = new Button(QStringLiteral("OK"), d);
  b->setGeometry(x, y, 121, 21);
  QObject::connect(b, &QPushButton::clicked, d, [d] { d->done(QDialog::Rejected); });
  return b;
}

}  // namespace

void SetUpApplication(const QLocale& locale) {
  QApplication::setFont(UiFont());
  QGuiApplication::setDesktopFileName(QStringLiteral("nomvex"));
  if (locale.language() == QLocale::Japanese) {
    auto* qt = new QTranslator(qApp);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QCoreApplication::installTranslator(qt);
    else
      delete qt;
  }
}

QColor FromColorRef(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

TAboutF::TAboutF(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutF"));
  DialogFrame(this, QStringLiteral("バージョン情報"), 280, 90);
  auto* image = new QLabel(this);
  image->setPixmap(ProgramIcon(32));
  image->setGeometry(8, 12, 32, 32);
  ExLabel1 = new ExLabel(QStringLiteral("Nomvex    Version 1.57"), this);
  ExLabel1->setGeometry(40, 6, 233, 12);
  GrowToLine(ExLabel1, 2);
  ExLabel2 = new ExLabel(QStringLiteral("No Data"), this);
  ExLabel2->setGeometry(40, 20, 233, 12);
  GrowToLine(ExLabel2, 2);
  ExLabel3 = new ExLabel(Utf8(author::kCopyright), this);
  ExLabel3->setGeometry(40, 34, 233, 12);
  GrowToLine(ExLabel3, 2);
  Button1 = OkButton(this, 152, 62);
  MailLink(this, 154, 47, 119, 12);
  Banner(this, author::kHomepage, 56, 50);
  Button1->setFocus();
}

void TAboutF::showEvent(QShowEvent* e) {
  CentreOnScreen(this);
  QDialog::showEvent(e);
}

// The dialogs close with OK or the close box, never with Escape.
void TAboutF::keyPressEvent(QKeyEvent* e) {
  if (e->key() != Qt::Key_Escape) QDialog::keyPressEvent(e);
}

TUnknownF::TUnknownF(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("UnknownF"));
  DialogFrame(this, QStringLiteral("未知の電話番号"), 304, 157);
  Label(this, QStringLiteral("未知の電話番号です。"), 64, 12, 115, 12);
  TelNo = Edit(this, 16, 12, 45, 18);
  TelNo->setReadOnly(true);
  TelNo->setFrame(false);
  QPalette pal = TelNo->palette();
  pal.setColor(QPalette::Base, palette().color(QPalette::Window));
  TelNo->setPalette(pal);
  // No border: the number may use the box's whole width.
  TelNo->setTextMargins(-2, 0, -2, 0);
  TelNo->setText(QStringLiteral("0901234"));
  KeepTextWhole(TelNo);
  const QString lines[] = {
      QStringLiteral("ホームページで最新版が公開されているか"),
      QStringLiteral("確認してください。"),
      QStringLiteral("最新版でも同じ様に未知の番号になった場合、"),
      QStringLiteral("事業者などが分かりましたら、左の番号"),
      QStringLiteral("（電話番号の上7桁）と事業者名・契約された"),
      QStringLiteral("都道府県名を、メールor掲示板で教えて"),
      QStringLiteral("いただけると幸いです。"),
  };
  QStringList text;
  for (const QString& l : lines) text << QStringLiteral("　") + l;
  Label2 = new LinesLabel(text, 12, this);
  Label2->setGeometry(60, 28, 244, 84);
  MailLink(this, 178, 115, 117, 12);
  Banner(this, author::kReportPage, 80, 118);
  Button1 = OkButton(this, 176, 130);
  setTabOrder(Button1, TelNo);
  Button1->setFocus();
}

void TUnknownF::showEvent(QShowEvent* e) {
  CentreOnScreen(this);
  QDialog::showEvent(e);
}

void TUnknownF::keyPressEvent(QKeyEvent* e) {
  if (e->key() != Qt::Key_Escape) QDialog::keyPressEvent(e);
}

TNomvexF::TNomvexF(const NumberTable* table, const std::string& data_version,
                   const std::string& exe_dir)
    : table_(table), data_version_(data_version), exe_dir_(exe_dir) {
  setObjectName(QStringLiteral("NomvexF"));
  setWindowTitle(QStringLiteral("Nomvex"));
  setWindowIcon(QIcon(ProgramIcon(32)));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(UiFont());

  auto* client = new QWidget(this);
  client->setFixedSize(302, 90);
  setCentralWidget(client);
  // "電話番号(&T):" with no control attached: the access key is only drawn.
  Label(client, QStringLiteral("電話番号(<u>T</u>):"), 12, 12, 65, 12)->setTextFormat(Qt::RichText);
  TelType = Edit(client, 80, 8, 33, 21);
  TelType->setMaxLength(3);
  TelType->setText(QStringLiteral("090"));
  const QFont number_font = NumberFont();
  Label(client, QStringLiteral("-"), 116, 10, 8, 18, &number_font);
  TelNo = Edit(client, 126, 8, 77, 21);
  TelNo->setMaxLength(8);
  TelType->setFont(number_font);
  TelNo->setFont(number_font);
  ExamineBtn = new Button(QStringLiteral("解析(&X)"), client);
  ExamineBtn->setGeometry(208, 8, 81, 22);
  GroupBox2 = new GroupBox(QStringLiteral("結果"), client);
  GroupBox2->setGeometry(12, 36, 277, 41);
  Label(GroupBox2, QStringLiteral("事業者名:"), 12, 16, 50, 12);
  Com = Edit(GroupBox2, 64, 14, 97, 18);
  Com->setReadOnly(true);
  Label(GroupBox2, QStringLiteral("地方:"), 168, 16, 26, 12);
  Where = Edit(GroupBox2, 196, 14, 73, 18);
  Where->setReadOnly(true);
  // A table may hold names of up to 19 bytes.
  KeepTextWhole(Com);
  KeepTextWhole(Where);

  // Tab: TelNo, ExamineBtn, Com, Where, TelType, and round again.
  setTabOrder(TelNo, ExamineBtn);
  setTabOrder(ExamineBtn, Com);
  setTabOrder(Com, Where);
  setTabOrder(Where, TelType);

  // The button is the window's default: Enter in any box presses it (a
  // disabled button ignores the press).
  for (QLineEdit* box : {TelType, TelNo, Com, Where})
    connect(box, &QLineEdit::returnPressed, ExamineBtn, &QPushButton::click);
  connect(ExamineBtn, &QPushButton::clicked, this, &TNomvexF::ExamineBtnClick);

  auto item = [this](QMenu* menu, const QString& caption, QKeySequence key,
                     void (TNomvexF::*handler)()) {
    QAction* a = menu->addAction(caption);
    a->setShortcut(key);
    connect(a, &QAction::triggered, this, handler);
    return a;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  CsvConvMnu = item(file, QStringLiteral("C&SVファイルの一括解析..."), QKeySequence(Qt::CTRL | Qt::Key_S),
                    &TNomvexF::CsvConvMnuClick);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
  ClearMnu = item(edit, QStringLiteral("クリア(&C)"), QKeySequence(Qt::CTRL | Qt::Key_Q),
                  &TNomvexF::ClearMnuClick);
  edit->addSeparator();
  KeitaiMnu = item(edit, QStringLiteral("携帯の番号にクリア(&K)"), QKeySequence(Qt::CTRL | Qt::Key_K),
                   &TNomvexF::KeitaiMnuClick);
  PhsMnu = item(edit, QStringLiteral("PHSの番号にクリア(&P)"), QKeySequence(Qt::CTRL | Qt::Key_P),
                &TNomvexF::PhsMnuClick);
  QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
  AlwaysTopMnu = item(view, QStringLiteral("常に前面に表示(&T)"), QKeySequence(Qt::CTRL | Qt::Key_T),
                      &TNomvexF::AlwaysTopMnuClick);
  AlwaysTopMnu->setCheckable(true);
  view->addSeparator()->setVisible(false);  // N2
  ConvIdoMnu = view->addAction(QStringLiteral("auを&IDO・セルラーで分けて表示"));
  ConvIdoMnu->setCheckable(true);
  ConvIdoMnu->setVisible(false);
  // A hidden action's shortcut is dead in Qt; the switch still answers Ctrl+I.
  auto* ctrl_i = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this);
  connect(ctrl_i, &QShortcut::activated, ConvIdoMnu, &QAction::toggle);
  QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  About = help->addAction(QStringLiteral("バージョン情報(&A)"));
  connect(About, &QAction::triggered, this, &TNomvexF::AboutClick);

  setFixedSize(302, 90 + menuBar()->sizeHint().height());
  TelNo->setFocus();
}

void TNomvexF::SetForms(TAboutF* about, TUnknownF* unknown, TCsvConvF* csv_conv) {
  AboutF = about;
  UnknownF = unknown;
  CsvConvF = csv_conv;
}

void TNomvexF::Notify(int kind) {
  NotifySstp(kind, {Bytes(TelType), Bytes(TelNo), Bytes(Com), Bytes(Where)}, exe_dir_);
}

void TNomvexF::FormCreate() { Notify(kNotifyStart); }

void TNomvexF::showEvent(QShowEvent* e) {
  if (!shown_once_) {
    shown_once_ = true;
    FormShow();
  }
  QMainWindow::showEvent(e);
}

void TNomvexF::FormShow() {
  if (data_version_.empty()) {
    Seam::messageBox(this, QStringLiteral("データファイルが存在しないか、内容が異常です。"),
                     QStringLiteral("エラー"), Icon::kStop);
    ExamineBtn->setEnabled(false);
    CsvConvMnu->setEnabled(false);
  } else if (AboutF) {
    AboutF->ExLabel2->setText(QStringLiteral("Data : ") + Text(data_version_));
  }
}

void TNomvexF::closeEvent(QCloseEvent* e) {
  Notify(kNotifyExit);
  QMainWindow::closeEvent(e);
}

void TNomvexF::ClearTo(const QString& prefix) {
  TelType->setText(prefix);
  TelNo->clear();
  Com->clear();
  Where->clear();
  SetColor(Com, kWhite);
  SetColor(Where, kWhite);
}

void TNomvexF::SetColor(QLineEdit* box, uint32_t color) {
  QPalette pal = box->palette();
  pal.setColor(QPalette::Base, FromColorRef(color));
  box->setPalette(pal);
}

void TNomvexF::AlwaysTopMnuClick() {
  // The check mark is toggled by the action itself.
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, AlwaysTopMnu->isChecked());
  if (QWindow* window = windowHandle()) {
    // Told to the window system as it stands: setWindowFlags would re-create
    // the window, and the focus and the caret would leave the number box.
    overrideWindowFlags(flags);
    window->setFlags(flags);
  } else {
    setWindowFlags(flags);
  }
}

void TNomvexF::AboutClick() {
  if (AboutF) Seam::exec(AboutF);
}

void TNomvexF::ExamineBtnClick() {
  if (!ExamineBtn->isEnabled()) return;
  // The rules are the core's, shared with the Windows window; this shows
  // what they decide.
  const Examination e = Examine(*table_, Bytes(TelType), Bytes(TelNo), ConvIdoMnu->isChecked());
  if (e.error != InputError::kNone) {
    Seam::messageBox(this, Utf8(InputErrorMessage(e.error)), Utf8(kInputErrorCaption), Icon::kStop);
    return;
  }
  Com->setText(Text(e.carrier));
  Where->setText(Text(e.region));
  ColorResult(e.color);
  ReportResult(e);
  TelNo->setFocus();
}

void TNomvexF::ColorResult(uint32_t color) {
  SetColor(Com, kWhite);
  SetColor(Where, kWhite);
  SetColor(Where, color);
  SetColor(Com, color);
}

void TNomvexF::ReportResult(const Examination& e) {
  if (!e.unknown) {
    Notify(kNotifyKnown);
    return;
  }
  Notify(kNotifyUnknown);
  if (!UnknownF) return;
  UnknownF->TelNo->setText(Text(e.dialog_number));
  Seam::exec(UnknownF);
}

void TNomvexF::AnnotateWithDialog(const QString& source) {
  // Also asked for at start-up, maybe while the table error is still open.
  if (!CsvConvMnu->isEnabled() || !CsvConvF || data_version_.empty()) return;
  CsvConvF->PresetSource(source);
  if (Seam::exec(CsvConvF) != 1) return;
  // The names exactly as they stand in the boxes.
  const std::string src = CsvConvF->SrcFile->text().toStdString();
  const std::string dst = CsvConvF->DstFile->text().toStdString();

  // The window takes no input meanwhile (the progress is modal), but is
  // painted, shows progress, and the run can be cancelled: it then cleans up
  // as after a failure and says so.
  QProgressDialog progress(QStringLiteral("解析しています..."), QStringLiteral("キャンセル"), 0, 1000, this);
  progress.setWindowTitle(QString::fromUtf8(kAppTitle));
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(500);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  std::atomic<int> stop{0};
  connect(&progress, &QProgressDialog::canceled, this, [&stop] { stop = -1; });
  ConvertOptions options;
  options.stop = &stop;
  options.progress = [&](uint64_t done, uint64_t total) {
    if (total > 0) progress.setValue(static_cast<int>(std::min<uint64_t>(done * 1000 / total, 1000)));
    // Input only once the modal progress shows and keeps it from the rest.
    QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                         : QEventLoop::ExcludeUserInputEvents);
  };
  ConvertReport report = ConvertCsvFile(*table_, src, dst, options);
  progress.reset();
  Seam::showMessage(this, QString::fromStdString(ConvertOutcome(report)));
}

Forms CreateForms(const NumberTable* table, const std::string& data_version,
                  const std::string& exe_dir) {
  Forms f{};
  f.NomvexF = new TNomvexF(table, data_version, exe_dir);
  f.AboutF = new TAboutF(f.NomvexF);
  f.UnknownF = new TUnknownF(f.NomvexF);
  f.CsvConvF = new TCsvConvF(f.NomvexF);
  f.NomvexF->SetForms(f.AboutF, f.UnknownF, f.CsvConvF);
  return f;
}

}  // namespace nomvex::ui
