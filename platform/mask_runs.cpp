#include "platform/mask_runs.h"

namespace kg {

namespace {
struct Run {
    int begin;
    int end;
    friend bool operator==(const Run&, const Run&) = default;
};
}  // namespace

std::vector<PixelRect> rectsFromMask(int width, int height,
                                     const std::function<bool(int, int)>& isSet) {
    std::vector<PixelRect> out;
    std::vector<Run> band;  // runs of the band being grown
    int bandTop = 0;
    auto flush = [&](int bandBottom) {
        for (const Run& r : band) out.push_back({r.begin, bandTop, r.end - r.begin, bandBottom - bandTop});
    };
    std::vector<Run> row;
    for (int y = 0; y < height; ++y) {
        row.clear();
        int x = 0;
        while (x < width) {
            while (x < width && !isSet(x, y)) ++x;
            const int begin = x;
            while (x < width && isSet(x, y)) ++x;
            if (x > begin) row.push_back({begin, x});
        }
        if (row != band) {
            flush(y);
            band = row;
            bandTop = y;
        }
    }
    flush(height);
    return out;
}

}  // namespace kg
