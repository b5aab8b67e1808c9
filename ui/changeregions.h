// What the Record command saw change while it looked at the screen, and which part of it is the
// picture the user means. Plain data and arithmetic: no Windows call, so that it is tested on
// change maps made by hand.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Pixels from Left to Right and from Top to Bottom, every bound inclusive.
struct PixelBox {
    int Left = 0, Top = 0, Right = -1, Bottom = -1;
    bool Empty() const { return Right < Left || Bottom < Top; }
    long long Area() const {
        return Empty() ? 0 : (long long)(Right - Left + 1) * (Bottom - Top + 1);
    }
    bool operator==(const PixelBox &o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};

// The changes of one look, gathered in square cells: in each cell, how many pixel changes were
// seen over all pairs of snapshots, and the outermost changed pixels. Coordinates are pixels of
// the snapshots, 0, 0 at their top-left corner.
class ChangeMap {
  public:
    static constexpr int CellSize = 8;
    // A colour channel that moves by this much or less is not a change: the faint flicker of a
    // video's black bars, a dithered gradient, a compressor's noise.
    static constexpr int FaintChange = 12;

    ChangeMap(int Width, int Height);
    int Width() const { return width; }
    int Height() const { return height; }
    // Adds the pixels that differ between two snapshots of Width x Height pixels, rows top-down,
    // 32 bits a pixel as GetDIBits gives them (blue, green, red, unused byte).
    void Add(const uint32_t *Before, const uint32_t *After);
    // Count changes seen at one pixel.
    void Mark(int X, int Y, unsigned Count = 1);
    // Forgets every change inside Box: the program's own windows are never the picture.
    void Clear(const PixelBox &Box);
    bool Empty() const;

    struct Cell {
        unsigned Changes = 0;
        PixelBox Extent; // of the changed pixels in the cell
    };
    int Columns() const { return columns; }
    int Rows() const { return rows; }
    const Cell &At(int Column, int Row) const { return cells[(std::size_t)Row * columns + Column]; }

  private:
    int width, height, columns, rows;
    std::vector<Cell> cells;
};

// Changes this many cells apart or closer (in either direction) belong to one region: the
// scattered moving parts of one video, the path of an object moving across a still picture.
constexpr int RegionGapCells = 2;

// The picture in a look's changes: the changes grouped into regions, the region with the most
// change chosen, and every other region that reaches into its box taken into it (a video's
// separate moving parts). Regions outside it, a clock, a caret, a blinking icon, do not widen
// it. An empty box when nothing changed.
PixelBox ChooseRegion(const ChangeMap &Map);

// The picture's own edges around Region, in a snapshot of Width x Height pixels (as ChangeMap::Add
// reads them): parts of a video that stayed still during the look (a test pattern's bars, the
// plain corners of a zooming picture) lie between the changes and the picture's edge. Each side
// moves out, by at most EdgeReach of the region's size along it, to the first line that differs
// from the line beyond it in nearly every pixel (EdgeShare), or to the snapshot's edge; a side
// with no such line stays where it is.
constexpr double EdgeReach = 0.5;
constexpr double EdgeShare = 0.9;
PixelBox SnapToEdges(const uint32_t *Pixels, int Width, int Height, const PixelBox &Region);

// A window or control that Region nearly fills: the smallest of Candidates that holds Region
// (give or take SnapSlack pixels) and of whose area Region covers at least SnapShare. Region
// itself when there is none.
constexpr int SnapSlack = 4;
constexpr double SnapShare = 0.8;
PixelBox SnapToWindow(const PixelBox &Region, const std::vector<PixelBox> &Candidates);
