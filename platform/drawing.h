#pragma once
// Plain values for drawing: colours, fonts, text attributes and paths. No toolkit types; the
// GraphicsContext (graphics_context.h) turns them into pixels. Any thread may build them.

#include <cstdint>
#include <string>

#include "platform/geometry.h"

namespace kg {

// A colour by components in [0, 1], not premultiplied, in the display's sRGB space.
struct Color {
    double r = 0;
    double g = 0;
    double b = 0;
    double a = 0;

    [[nodiscard]] static constexpr Color rgba(double red, double green, double blue,
                                              double alpha) {
        return {red, green, blue, alpha};
    }
    // A grey: `white` is the brightness, 0 black to 1 white.
    [[nodiscard]] static constexpr Color white(double white, double alpha) {
        return {white, white, white, alpha};
    }
    [[nodiscard]] static constexpr Color white() { return {1, 1, 1, 1}; }
    [[nodiscard]] static constexpr Color black() { return {0, 0, 0, 1}; }
    [[nodiscard]] static constexpr Color red() { return {1, 0, 0, 1}; }
    [[nodiscard]] static constexpr Color clear() { return {0, 0, 0, 0}; }

    friend bool operator==(const Color&, const Color&) = default;
};

// The red of the recording frame, the selection border, the size label and the Stop button.
inline constexpr Color kRecordingRed = Color::rgba(1.0, 0.23, 0.19, 1.0);

// How a fill combines with what is already in the window. The raw values are the ones callers
// pass: 0 clears to full transparency (the colour is ignored), 2 draws over.
enum class CompositingOperation : int {
    Clear = 0,
    Copy = 1,        // replaces the pixels, alpha included
    SourceOver = 2,  // the usual blending
};

enum class FontWeight { Regular, Medium, Semibold, Bold };

struct Font {
    enum class Design {
        System,           // the proportional user-interface font
        MonospacedDigit,  // the same family with digits of equal width (tabular figures)
        Monospaced        // the fixed-width font: every character has the same advance
    };
    Design design = Design::System;
    double size_points = 13;
    FontWeight weight = FontWeight::Regular;

    [[nodiscard]] static Font system(double size_points, FontWeight weight = FontWeight::Regular) {
        return {Design::System, size_points, weight};
    }
    [[nodiscard]] static Font monospacedDigitSystem(double size_points, FontWeight weight) {
        return {Design::MonospacedDigit, size_points, weight};
    }
    [[nodiscard]] static Font monospacedSystem(double size_points, FontWeight weight) {
        return {Design::Monospaced, size_points, weight};
    }
    friend bool operator==(const Font&, const Font&) = default;
};

struct TextAttributes {
    Font font;
    Color foreground = Color::black();
    // Painted behind the text's line box (measureText's size) when its alpha is above 0.
    Color background = Color::clear();
};

// A closed outline: a rectangle, a rectangle with rounded corners, or the oval inscribed in a
// rectangle. Coordinates are those of the view it is drawn in (points, y up).
struct Path {
    enum class Kind { Rect, RoundedRect, Oval };
    Kind kind = Kind::Rect;
    kg::Rect rect;
    double radiusX = 0;
    double radiusY = 0;

    [[nodiscard]] static Path rectangle(const kg::Rect& r) { return {Kind::Rect, r, 0, 0}; }
    [[nodiscard]] static Path roundedRect(const kg::Rect& r, double radiusX, double radiusY) {
        return {Kind::RoundedRect, r, radiusX, radiusY};
    }
    [[nodiscard]] static Path oval(const kg::Rect& r) { return {Kind::Oval, r, 0, 0}; }
};

// The size of one line of text set with these attributes: the advance width and the line
// box height (ascent + descent). Main thread, after Application::open().
[[nodiscard]] Size measureText(const std::string& utf8, const TextAttributes& attributes);

}  // namespace kg
