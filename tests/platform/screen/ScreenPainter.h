#pragma once
// Test support: a small X client that paints known colours on the root window, sets the pointer
// and its cursor, and counts bells, through a connection of its own (not the layer under test).
#include <cstdint>
#include <functional>

struct _XDisplay;

namespace screentest {

struct Colour {
    std::uint8_t r, g, b;
};

// A colour per screen point that changes from pixel to pixel and row to row.
Colour PatternColour(int x, int y);

class CScreenPainter {
public:
    CScreenPainter();
    ~CScreenPainter();
    CScreenPainter(const CScreenPainter&) = delete;
    CScreenPainter& operator=(const CScreenPainter&) = delete;

    bool IsOpen() const { return m_pDisplay != nullptr; }
    int Width() const;
    int Height() const;
    int Depth() const;

    // Paints the whole screen with colour(x, y) and waits until the server has it.
    void Paint(const std::function<Colour(int, int)>& colour);
    // The colour the screen holds at (x, y), read back with a plain XGetImage.
    Colour ScreenColour(int x, int y);

    void MovePointer(int x, int y);
    // A solid cursor of side x side pixels in one colour, hot spot (hotX, hotY), on the root.
    void SetSolidCursor(int side, Colour colour, int hotX, int hotY);
    // Bells rung on the server since the last call.
    int TakeBells();

private:
    _XDisplay* m_pDisplay = nullptr;
    unsigned long m_cursor = 0;  // an X Cursor
    int m_nXkbEvent = -1;
};

}  // namespace screentest
