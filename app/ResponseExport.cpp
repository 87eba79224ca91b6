// The response panel's exports; see ResponseExport.h.
#include "ResponseExport.h"

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QWidget>

namespace {

// The panel's texts keep the panel's translation context.
QString Tr(const char* text) {
  return QCoreApplication::translate("TResponseDock", text);
}

bool WriteAtomically(const QString& fileName, const QByteArray& bytes, QString& error) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace

bool ExportResponseCsv(const std::vector<SResponsePoint>& points, const QString& fileName,
                       QString& error) {
  return WriteAtomically(fileName, QByteArray::fromStdString(ResponseCsv(points)), error);
}

bool ExportResponseTouchstone(const std::vector<SResponsePoint>& points, const QString& fileName,
                              QString& error) {
  return WriteAtomically(fileName, QByteArray::fromStdString(ResponseTouchstone(points)), error);
}

bool ExportChartImage(QWidget& view, const QString& fileName, QString& error) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (fileName.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(view.size());
    svg.setViewBox(QRect(QPoint(0, 0), view.size()));
    svg.setTitle(Tr("Frequency response"));
    QPainter painter(&svg);
    // A chart view draws its scene; any other widget draws itself.
    if (auto* graphics = qobject_cast<QGraphicsView*>(&view))
      graphics->render(&painter);
    else
      view.render(&painter);
  } else if (!view.grab().save(&buffer, "PNG")) {
    error = Tr("The picture could not be made");
    return false;
  }
  return WriteAtomically(fileName, bytes, error);
}

void CopyChartImage(QWidget& view) {
  QGuiApplication::clipboard()->setPixmap(view.grab());
}
