#include "app_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QPixmap>
#include <cstdlib>

namespace k470::test {

void ProcessDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string ArtefactPath(const std::string& name) {
  const char* env = std::getenv("K470_BUILD_DIR");
  QString dir = QString::fromUtf8(env != nullptr && *env != '\0' ? env : K470_DEFAULT_BUILD_DIR) + "/artefacts";
  QDir().mkpath(dir);
  return (dir + "/" + QString::fromStdString(name)).toStdString();
}

QImage SaveScreenshot(QWidget* widget, const std::string& name) {
  QImage image = widget->window()->grab().toImage();
  image.save(QString::fromStdString(ArtefactPath(name)), "PNG");
  return image;
}

void SheetTest::SetUp() {
  app = std::make_unique<CConfigApp>(host, ports);
  sheet = &app->CreateMainSheet();
}

void SheetTest::TearDown() {
  app.reset();
  ProcessDeferredDeletes();
}

void SheetTest::Show() {
  sheet->Create();
  host.RunPending();
}

void SheetTest::VisitAllPages() {
  for (int i = 0; i < sheet->GetPageCount(); ++i) sheet->SetActivePage(i);
  sheet->SetActivePage(0);
  host.RunPending();
}

void SimulatedSheetTest::SetUp() {
  com1 = &ports.AddPort("COM1");
  simulation = std::make_unique<sim::Simulation>(host.Clock());
  sim::World& world = simulation->GetWorld();
  world.AddStation({.id = "Lokal", .type = sim::StationType::Handset, .name = "Werkstatt"});
  world.AddStation({.id = "Basis", .type = sim::StationType::Base, .name = "Büro"});
  world.Register("Lokal", "Basis");
  adapter = &simulation->Attach(*com1, "Lokal");
  SheetTest::SetUp();
}

void SimulatedSheetTest::TearDown() {
  SheetTest::TearDown();
  simulation.reset();
}

bool SimulatedSheetTest::Connect() {
  if (!sheet->GetPort().Open("COM1")) return false;
  return host.RunUntil([&] { return sheet->GetPort().GetState() == LINK_CONFIG; }, 20000);
}

}  // namespace k470::test
