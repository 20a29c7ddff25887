#!/usr/bin/env node
// Converts Natural Earth's land and country boundaries, as the npm package world-atlas carries
// them (TopoJSON), into data/world-outline.txt, the outline the frame list's map draws. Run once
// by hand when the data is to be renewed; the build reads only the text file:
//
//   cd /tmp && npm pack world-atlas@2.0.2 && tar xzf world-atlas-2.0.2.tgz
//   node scripts/natural-earth-outline.mjs /tmp/package > data/world-outline.txt
//
// Output: comment lines (#), then one line per ring or line:
//   L x y dx dy dx dy ...   a ring of land (its outline is the coastline; closed, the last point
//                           repeats the first)
//   B x y dx dy ...         a stretch of boundary between two countries
// x is the longitude, y the latitude, in thousandths of a degree; the first point as it is,
// the others as differences from the point before.
import { readFileSync } from "node:fs";
import { join } from "node:path";

const dir = process.argv[2];
if (!dir) {
  console.error("usage: natural-earth-outline.mjs WORLD_ATLAS_PACKAGE_DIR > world-outline.txt");
  process.exit(2);
}
const pkg = JSON.parse(readFileSync(join(dir, "package.json"), "utf8"));
const land = JSON.parse(readFileSync(join(dir, "land-50m.json"), "utf8"));
const countries = JSON.parse(readFileSync(join(dir, "countries-50m.json"), "utf8"));

// The arcs of a topology as points in degrees (quantized arcs are delta-encoded).
function decodeArcs(topology) {
  const [sx, sy] = topology.transform.scale;
  const [tx, ty] = topology.transform.translate;
  return topology.arcs.map((arc) => {
    let x = 0;
    let y = 0;
    return arc.map(([dx, dy]) => {
      x += dx;
      y += dy;
      return [x * sx + tx, y * sy + ty];
    });
  });
}

// The points of arc i (~i: arc i backwards).
function arcPoints(arcs, i) {
  return i >= 0 ? arcs[i] : arcs[~i].slice().reverse();
}

// A ring from its arcs: each arc begins where the one before ended, that point once.
function ring(arcs, indexes) {
  const points = [];
  for (const i of indexes) {
    const p = arcPoints(arcs, i);
    points.push(...(points.length ? p.slice(1) : p));
  }
  return points;
}

function polygons(geometry) {
  if (geometry.type === "Polygon") return [geometry.arcs];
  if (geometry.type === "MultiPolygon") return geometry.arcs;
  if (geometry.type === "GeometryCollection") return geometry.geometries.flatMap(polygons);
  return [];
}

const unit = 1e3;
function line(tag, points) {
  const out = [tag];
  let px = 0;
  let py = 0;
  let first = true;
  for (const [lon, lat] of points) {
    const x = Math.round(lon * unit);
    const y = Math.round(lat * unit);
    if (!first && x === px && y === py) continue;
    out.push(first ? `${x} ${y}` : `${x - px} ${y - py}`);
    px = x;
    py = y;
    first = false;
  }
  return out.length > 2 ? out.join(" ") : null;
}

const lines = [
  "# The land and the boundaries between countries of Natural Earth (naturalearthdata.com), 1:50m,",
  "# version 4.1.0: public domain. Taken from the npm package world-atlas " + pkg.version +
    " (land-50m.json, countries-50m.json;",
  "# ISC licence, Copyright 2013-2019 Michael Bostock) by scripts/natural-earth-outline.mjs.",
  "# L: a ring of land, B: a boundary; longitude and latitude in 1/1000 degree, then differences.",
];

const landArcs = decodeArcs(land);
for (const polygon of polygons(land.objects.land)) {
  for (const r of polygon) {
    const text = line("L", ring(landArcs, r));
    if (text) lines.push(text);
  }
}

// Boundaries: the arcs that two different countries share (the others are coast).
const countryArcs = decodeArcs(countries);
const users = new Map();
countries.objects.countries.geometries.forEach((g, n) => {
  for (const polygon of polygons(g)) {
    for (const r of polygon) {
      for (const i of r) {
        const a = i >= 0 ? i : ~i;
        if (!users.has(a)) users.set(a, new Set());
        users.get(a).add(n);
      }
    }
  }
});
for (const [a, who] of [...users.entries()].sort((p, q) => p[0] - q[0])) {
  if (who.size < 2) continue;
  const text = line("B", countryArcs[a]);
  if (text) lines.push(text);
}
process.stdout.write(lines.join("\n") + "\n");
