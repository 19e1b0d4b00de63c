// The window module: loaded by the program only when the window is to start.
#include <QApplication>
#include <QTimer>

#include <exception>

#include "app/forms.h"
#include "app/seam.h"
#include "app/window_entry.h"

extern "C" __attribute__((visibility("default"))) int nomvex_window_main(
    const nomvex::WindowStart* start) {
  using namespace nomvex::ui;
  int argc = start->argc;
  QApplication app(argc, start->argv);
  SetUpApplication(QLocale::system());
  try {
    Forms forms = CreateForms(start->table, *start->data_version, *start->exe_dir);
    // The start notification is the last step of the main window's creation,
    // before it shows.
    forms.NomvexF->FormCreate();
    forms.NomvexF->show();
    if (start->annotate_dialog) {
      // Once the main window is up (and has told of a missing table).
      const QString source = QString::fromStdString(*start->annotate_dialog);
      QTimer::singleShot(0, forms.NomvexF, [&forms, source] { forms.NomvexF->AnnotateWithDialog(source); });
    }
    int status = app.exec();
    delete forms.NomvexF;
    return status;
  } catch (const std::exception& e) {
    Seam::messageBox(nullptr, QString::fromLocal8Bit(e.what()) + QStringLiteral("."),
                     QString::fromUtf8(kAppTitle), Icon::kStop);
    return 0;
  }
}
