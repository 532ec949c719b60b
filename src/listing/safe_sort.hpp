// A stable merge sort that stays inside its range whatever the comparison
// answers. Offsets spread over more than 2^31 make the member order's
// wrap-around comparison inconsistent, and the library's sorts may then read
// outside the range; this one only ever chooses which of two heads comes first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace vantor {

template <typename T, typename Before>
void stable_sort_safe(std::span<T> items, Before before)
{
    const std::size_t count = items.size();
    std::vector<T> merged(count);
    for (std::size_t width = 1; width < count; width *= 2) {
        for (std::size_t low = 0; low < count; low += 2 * width) {
            const std::size_t middle = std::min(low + width, count);
            const std::size_t high = std::min(low + 2 * width, count);
            std::size_t left = low, right = middle, out = low;
            while (left < middle && right < high)
                merged[out++] = before(items[right], items[left]) ? items[right++] : items[left++];
            while (left < middle)
                merged[out++] = items[left++];
            while (right < high)
                merged[out++] = items[right++];
        }
        std::copy(merged.begin(), merged.end(), items.begin());
    }
}

}  // namespace vantor
