// Map tiles that the user has, drawn under the map's outline: a folder of z/x/y tiles (as tile
// servers and their downloaders lay them out: 12/2176/1420.png) or an MBTiles file (SQLite, its
// rows counted from the south), read through Qt SQL.
#ifndef PACKSCOPE_UI_MAP_TILES_H_
#define PACKSCOPE_UI_MAP_TILES_H_

#include <QImage>
#include <QString>
#include <memory>

#include "framelist/map_geometry.h"

namespace packscope {

class TileSource {
 public:
  virtual ~TileSource() = default;
  virtual int MinZoom() const = 0;
  virtual int MaxZoom() const = 0;
  // The tile's picture; a null image where the source has none.
  virtual QImage Tile(const TileId& id) = 0;
  // The folder or file, for the map's caption.
  virtual QString Name() const = 0;
};

// A folder whose subfolders are zoom levels (tiles PNG, JPEG or WebP, as Qt reads them), or an
// MBTiles file. Nothing, and error set, for anything else.
std::unique_ptr<TileSource> OpenTileSource(const QString& path, QString* error);

}  // namespace packscope

#endif  // PACKSCOPE_UI_MAP_TILES_H_
