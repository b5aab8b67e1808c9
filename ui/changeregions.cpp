// The analysis of the Record command's look: changes gathered in cells, cells grouped into
// regions, the picture chosen among them.
#include "ui/changeregions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace {

PixelBox Union(const PixelBox &a, const PixelBox &b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
}

PixelBox Intersection(const PixelBox &a, const PixelBox &b) {
    return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
}

bool Differs(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)((a >> shift) & 0xff) - (int)((b >> shift) & 0xff)) >
            ChangeMap::FaintChange)
            return true;
    return false;
}

// Groups of cells joined by union and find.
class Groups {
  public:
    explicit Groups(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    size_t Find(size_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    }
    void Join(size_t a, size_t b) { parent[Find(a)] = Find(b); }

  private:
    std::vector<size_t> parent;
};

struct Region {
    unsigned long long Changes = 0;
    PixelBox Box;
};

} // namespace

ChangeMap::ChangeMap(int Width, int Height)
    : width(std::max(0, Width)), height(std::max(0, Height)),
      columns((width + CellSize - 1) / CellSize), rows((height + CellSize - 1) / CellSize),
      cells((size_t)columns * rows) {}

void ChangeMap::Add(const uint32_t *Before, const uint32_t *After) {
    for (int y = 0; y < height; y++) {
        const uint32_t *a = Before + (size_t)y * width, *b = After + (size_t)y * width;
        // Unchanged rows are by far the common case.
        if (std::memcmp(a, b, (size_t)width * 4) == 0) continue;
        for (int x = 0; x < width; x++)
            if (a[x] != b[x] && Differs(a[x], b[x])) Mark(x, y);
    }
}

void ChangeMap::Mark(int X, int Y, unsigned Count) {
    if (X < 0 || Y < 0 || X >= width || Y >= height || Count == 0) return;
    Cell &cell = cells[(size_t)(Y / CellSize) * columns + X / CellSize];
    cell.Changes += Count;
    cell.Extent = Union(cell.Extent, {X, Y, X, Y});
}

void ChangeMap::Clear(const PixelBox &Box) {
    for (Cell &cell : cells) {
        if (cell.Changes == 0 || Intersection(cell.Extent, Box).Empty()) continue;
        // A cell only partly under the box keeps its changes outside it, as far as the cell's
        // extent can tell: the part of the extent beside the box.
        PixelBox e = cell.Extent, keep;
        if (e.Left < Box.Left) keep = Union(keep, {e.Left, e.Top, Box.Left - 1, e.Bottom});
        if (e.Right > Box.Right) keep = Union(keep, {Box.Right + 1, e.Top, e.Right, e.Bottom});
        if (e.Top < Box.Top) keep = Union(keep, {e.Left, e.Top, e.Right, Box.Top - 1});
        if (e.Bottom > Box.Bottom) keep = Union(keep, {e.Left, Box.Bottom + 1, e.Right, e.Bottom});
        if (keep.Empty()) {
            cell = Cell();
        } else {
            cell.Changes = (unsigned)std::max<long long>(1, (long long)cell.Changes * keep.Area() /
                                                                std::max(1LL, e.Area()));
            cell.Extent = keep;
        }
    }
}

bool ChangeMap::Empty() const {
    return std::none_of(cells.begin(), cells.end(), [](const Cell &c) { return c.Changes; });
}

PixelBox ChooseRegion(const ChangeMap &Map) {
    int columns = Map.Columns(), rows = Map.Rows();
    Groups groups((size_t)columns * rows);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            if (!Map.At(c, r).Changes) continue;
            // Each pair of near cells once: the ones after this cell in reading order.
            for (int dr = 0; dr <= RegionGapCells && r + dr < rows; dr++)
                for (int dc = -RegionGapCells; dc <= RegionGapCells; dc++) {
                    int c2 = c + dc;
                    if ((dr == 0 && dc <= 0) || c2 < 0 || c2 >= columns) continue;
                    if (Map.At(c2, r + dr).Changes)
                        groups.Join((size_t)r * columns + c, (size_t)(r + dr) * columns + c2);
                }
        }
    std::vector<Region> regions((size_t)columns * rows);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            const ChangeMap::Cell &cell = Map.At(c, r);
            if (!cell.Changes) continue;
            Region &region = regions[groups.Find((size_t)r * columns + c)];
            region.Changes += cell.Changes;
            region.Box = Union(region.Box, cell.Extent);
        }
    regions.erase(std::remove_if(regions.begin(), regions.end(),
                                 [](const Region &g) { return g.Changes == 0; }),
                  regions.end());
    if (regions.empty()) return {};
    auto most =
        std::max_element(regions.begin(), regions.end(),
                         [](const Region &a, const Region &b) { return a.Changes < b.Changes; });
    PixelBox picture = most->Box;
    most->Changes = 0;
    // Parts of the picture that move apart from its main motion lie inside its box, or reach
    // into it; taking one in may bring the box to another.
    for (bool grew = true; grew;) {
        grew = false;
        for (Region &g : regions)
            if (g.Changes && !Intersection(g.Box, picture).Empty()) {
                picture = Union(picture, g.Box);
                g.Changes = 0;
                grew = true;
            }
    }
    return picture;
}

namespace {

// Whether the line of pixels at `at` (a column when `columns`, else a row), between `from` and
// `to`, differs from the line at `beyond` in nearly every pixel.
bool EdgeBetween(const uint32_t *pixels, int width, bool columns, int at, int beyond, int from,
                 int to) {
    int differ = 0;
    for (int i = from; i <= to; i++) {
        size_t a = columns ? (size_t)i * width + at : (size_t)at * width + i;
        size_t b = columns ? (size_t)i * width + beyond : (size_t)beyond * width + i;
        differ += Differs(pixels[a], pixels[b]);
    }
    return differ >= EdgeShare * (to - from + 1);
}

// The side at `side` moved out in steps of `out` (-1 or +1) to the picture's edge; `limit` is
// the snapshot's last line that way.
int EdgeOut(const uint32_t *pixels, int width, bool columns, int side, int out, int limit,
            int reach, int from, int to) {
    for (int at = side; std::abs(at - side) <= reach; at += out) {
        if (at == limit) return at;
        if (EdgeBetween(pixels, width, columns, at, at + out, from, to)) return at;
    }
    return side;
}

} // namespace

PixelBox SnapToEdges(const uint32_t *Pixels, int Width, int Height, const PixelBox &Region) {
    if (Region.Empty()) return Region;
    PixelBox r = Region;
    int across = (int)(EdgeReach * (Region.Right - Region.Left + 1));
    int down = (int)(EdgeReach * (Region.Bottom - Region.Top + 1));
    r.Left = EdgeOut(Pixels, Width, true, r.Left, -1, 0, across, r.Top, r.Bottom);
    r.Right = EdgeOut(Pixels, Width, true, r.Right, 1, Width - 1, across, r.Top, r.Bottom);
    r.Top = EdgeOut(Pixels, Width, false, r.Top, -1, 0, down, r.Left, r.Right);
    r.Bottom = EdgeOut(Pixels, Width, false, r.Bottom, 1, Height - 1, down, r.Left, r.Right);
    return r;
}

PixelBox SnapToWindow(const PixelBox &Region, const std::vector<PixelBox> &Candidates) {
    const PixelBox *best = nullptr;
    for (const PixelBox &c : Candidates) {
        if (c.Empty() || Region.Empty()) continue;
        bool holds = c.Left - SnapSlack <= Region.Left && c.Top - SnapSlack <= Region.Top &&
                     Region.Right <= c.Right + SnapSlack && Region.Bottom <= c.Bottom + SnapSlack;
        if (!holds || Intersection(Region, c).Area() < SnapShare * c.Area()) continue;
        if (!best || c.Area() < best->Area()) best = &c;
    }
    return best ? *best : Region;
}
