#include "ui/map_tiles.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace packscope {
namespace {

class FolderTiles : public TileSource {
 public:
  FolderTiles(QString folder, int min_zoom, int max_zoom)
      : folder_(std::move(folder)), min_(min_zoom), max_(max_zoom) {}

  int MinZoom() const override { return min_; }
  int MaxZoom() const override { return max_; }
  QString Name() const override { return folder_; }

  QImage Tile(const TileId& id) override {
    const QString stem = QStringLiteral("%1/%2/%3/%4").arg(folder_).arg(id.z).arg(id.x).arg(id.y);
    for (const char* extension : {".png", ".jpg", ".jpeg", ".webp"}) {
      QImage image(stem + QLatin1String(extension));
      if (!image.isNull()) return image;
    }
    return {};
  }

 private:
  QString folder_;
  int min_;
  int max_;
};

class MbTiles : public TileSource {
 public:
  MbTiles(QString path, QString connection, int min_zoom, int max_zoom)
      : path_(std::move(path)),
        connection_(std::move(connection)),
        min_(min_zoom),
        max_(max_zoom) {}
  ~MbTiles() override {
    // The connection may go only once no query or database object uses it.
    { QSqlDatabase::database(connection_, false).close(); }
    QSqlDatabase::removeDatabase(connection_);
  }

  int MinZoom() const override { return min_; }
  int MaxZoom() const override { return max_; }
  QString Name() const override { return path_; }

  QImage Tile(const TileId& id) override {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(QStringLiteral(
        "SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?"));
    query.addBindValue(id.z);
    query.addBindValue(id.x);
    query.addBindValue(MbtilesRow(id));
    if (!query.exec() || !query.next()) return {};
    return QImage::fromData(query.value(0).toByteArray());
  }

 private:
  QString path_;
  QString connection_;
  int min_;
  int max_;
};

std::unique_ptr<TileSource> OpenFolder(const QString& path, QString* error) {
  int lo = 99;
  int hi = -1;
  for (const QString& name : QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool number = false;
    const int z = name.toInt(&number);
    if (!number || z < 0 || z > 22) continue;
    lo = std::min(lo, z);
    hi = std::max(hi, z);
  }
  if (hi < 0) {
    *error =
        QStringLiteral("%1 holds no tiles: no folder of a zoom level (0 to 22) in it").arg(path);
    return nullptr;
  }
  return std::make_unique<FolderTiles>(path, lo, hi);
}

std::unique_ptr<TileSource> OpenMbTiles(const QString& path, QString* error) {
  static QAtomicInt counter;
  const QString connection =
      QStringLiteral("packscope-tiles-%1").arg(counter.fetchAndAddRelaxed(1));
  int lo = -1;
  int hi = -1;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (db.open()) {
      QSqlQuery query(db);
      if (query.exec(QStringLiteral("SELECT MIN(zoom_level), MAX(zoom_level) FROM tiles")) &&
          query.next() && !query.value(0).isNull()) {
        lo = query.value(0).toInt();
        hi = query.value(1).toInt();
      } else {
        *error = QStringLiteral("%1 is no MBTiles file with tiles: %2")
                     .arg(path, query.lastError().text());
      }
    } else {
      *error = QStringLiteral("%1 cannot be opened: %2").arg(path, db.lastError().text());
    }
  }
  if (lo < 0 || hi > 30) {
    if (error->isEmpty()) *error = QStringLiteral("%1 holds no tiles").arg(path);
    { QSqlDatabase::database(connection, false).close(); }
    QSqlDatabase::removeDatabase(connection);
    return nullptr;
  }
  return std::make_unique<MbTiles>(path, connection, lo, hi);
}

}  // namespace

std::unique_ptr<TileSource> OpenTileSource(const QString& path, QString* error) {
  error->clear();
  const QFileInfo info(path);
  if (info.isDir()) return OpenFolder(path, error);
  if (info.isFile()) return OpenMbTiles(path, error);
  *error = QStringLiteral("%1 is neither a folder of tiles nor an MBTiles file").arg(path);
  return nullptr;
}

}  // namespace packscope
