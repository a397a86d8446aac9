#include "LineMerge.h"

#include <algorithm>
#include <vector>

namespace tarsun {

namespace {

// Lines without their line ends (a line whose end another program changed still holds the
// same text), and where each starts.
struct Lines {
    std::vector<std::string_view> text;
    std::vector<std::size_t> start;
};

Lines splitLines(std::string_view s) {
    Lines lines;
    forEachLine(s, [&](LineRef ref, std::size_t end) {
        (void)end;
        lines.text.push_back(ref.in(s));
        lines.start.push_back(ref.begin);
    });
    lines.start.push_back(s.size());
    return lines;
}

// Myers' shortest edit script between a and b: for each line of a, the line of b it is
// kept as, or -1. nullopt when more than maxSteps lines differ.
std::optional<std::vector<std::ptrdiff_t>> matchLines(const std::vector<std::string_view>& a,
                                                      const std::vector<std::string_view>& b, int maxSteps) {
    const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());
    std::vector<std::vector<int>> trace;  // trace[d][k + d]: furthest x on diagonal k after d steps
    auto down = [&](const std::vector<int>& prev, int d, int k) {
        return k == -d || (k != d && prev[static_cast<std::size_t>(k - 1 + d - 1)] < prev[static_cast<std::size_t>(k + 1 + d - 1)]);
    };
    for (int d = 0; d <= std::min(maxSteps, n + m); ++d) {
        std::vector<int> v(static_cast<std::size_t>(2 * d + 1));
        bool done = false;
        for (int k = -d; k <= d && !done; k += 2) {
            int x = 0;
            if (d > 0) {
                const std::vector<int>& prev = trace.back();
                x = down(prev, d, k) ? prev[static_cast<std::size_t>(k + 1 + d - 1)]
                                     : prev[static_cast<std::size_t>(k - 1 + d - 1)] + 1;
            }
            int y = x - k;
            while (x < n && y < m && a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(y)]) ++x, ++y;
            v[static_cast<std::size_t>(k + d)] = x;
            done = x >= n && y >= m;
        }
        trace.push_back(std::move(v));
        if (!done) continue;

        std::vector<std::ptrdiff_t> match(a.size(), -1);
        int x = n, y = m;
        for (int step = d; step > 0; --step) {
            const std::vector<int>& prev = trace[static_cast<std::size_t>(step - 1)];
            const int k = x - y;
            const bool wentDown = down(prev, step, k);
            const int prevK = wentDown ? k + 1 : k - 1;
            const int prevX = prev[static_cast<std::size_t>(prevK + step - 1)];
            const int prevY = prevX - prevK;
            const int snakeX = wentDown ? prevX : prevX + 1;
            while (x > snakeX) match[static_cast<std::size_t>(--x)] = --y;
            x = prevX;
            y = prevY;
        }
        while (x > 0) match[static_cast<std::size_t>(--x)] = --y;
        return match;
    }
    return std::nullopt;
}

// The line that holds position pos (pos may be a line's end).
std::size_t lineAt(const Lines& lines, std::size_t pos) {
    auto it = std::upper_bound(lines.start.begin(), lines.start.end() - 1, pos);
    return static_cast<std::size_t>(it - lines.start.begin()) - 1;
}

}  // namespace

Merge rebasePatch(std::string_view base, std::string_view current, const TextPatch& patch) {
    const Merge editedLineChanged{std::nullopt, "in a line you edited"};
    if (base.empty() && !patch.edits().empty()) return editedLineChanged;
    const Lines a = splitLines(base), b = splitLines(current);
    // Most changes are local (a line changed, some lines added at the end): match the
    // common head and tail directly and compare only what lies between.
    std::size_t head = 0;
    while (head < a.text.size() && head < b.text.size() && a.text[head] == b.text[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.text.size() - head && tail < b.text.size() - head &&
           a.text[a.text.size() - 1 - tail] == b.text[b.text.size() - 1 - tail])
        ++tail;
    std::vector<std::string_view> midA(a.text.begin() + static_cast<std::ptrdiff_t>(head),
                                       a.text.end() - static_cast<std::ptrdiff_t>(tail));
    std::vector<std::string_view> midB(b.text.begin() + static_cast<std::ptrdiff_t>(head),
                                       b.text.end() - static_cast<std::ptrdiff_t>(tail));
    std::optional<std::vector<std::ptrdiff_t>> mid = matchLines(midA, midB, 2000);

    auto mapped = [&](std::size_t line) -> std::ptrdiff_t {
        if (line < head) return static_cast<std::ptrdiff_t>(line);
        if (line >= a.text.size() - tail)
            return static_cast<std::ptrdiff_t>(line + b.text.size()) - static_cast<std::ptrdiff_t>(a.text.size());
        if (!mid) return -1;
        std::ptrdiff_t k = (*mid)[line - head];
        return k < 0 ? -1 : k + static_cast<std::ptrdiff_t>(head);
    };

    std::vector<TextPatch::Edit> moved;
    for (const TextPatch::Edit& edit : patch.edits()) {
        const std::size_t first = lineAt(a, edit.span.begin), last = lineAt(a, edit.span.end());
        const std::ptrdiff_t to = mapped(first);
        if (to < 0 && !mid && first >= head && first < a.text.size() - tail)
            return {std::nullopt, "too widely to carry your edits over"};
        if (to < 0) return editedLineChanged;
        for (std::size_t line = first + 1; line <= last && line < a.text.size(); ++line)
            if (mapped(line) != to + static_cast<std::ptrdiff_t>(line - first)) return editedLineChanged;
        // Lines match without their line ends, so an edit over several lines is measured
        // again where it ends: another program may have changed the line ends between.
        const std::size_t begin = b.start[static_cast<std::size_t>(to)] + (edit.span.begin - a.start[first]);
        const std::size_t end =
            b.start[static_cast<std::size_t>(to) + (last - first)] + (edit.span.end() - a.start[last]);
        moved.push_back({{begin, end - begin}, edit.text});
    }
    TextPatch rebased(std::move(moved), patch.appended());
    std::string out(current);
    rebased.applyInPlace(out);
    return {std::move(out), {}};
}

}  // namespace tarsun
