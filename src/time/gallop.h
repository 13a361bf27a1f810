// Galloping searches of a sorted range, for an answer expected near one end:
// steps of 1, 2, 4, ... from that end bracket it, then a binary search inside
// the bracket finds it, so the cost grows with the log of its distance from
// that end rather than of the range's length.
//   gallop_lower_bound(v.begin() + k, v.end(), x)   // std::lower_bound's answer, found from v[k] on
#pragma once

#include <algorithm>
#include <iterator>

namespace hourloom {

// gallop_lower_bound: std::lower_bound(first, last, value), searched from first.
template <class It, class T>
It gallop_lower_bound(It first, It last, const T& value) {
  typename std::iterator_traits<It>::difference_type step = 1;
  while (step < last - first && first[step - 1] < value) {  // [first, first + step) all before value
    first += step;
    step *= 2;
  }
  return std::lower_bound(first, last - first < step ? last : first + step, value);
}

// gallop_upper_bound_back: std::upper_bound(first, last, value), searched from last back.
template <class It, class T>
It gallop_upper_bound_back(It first, It last, const T& value) {
  typename std::iterator_traits<It>::difference_type step = 1;
  while (step < last - first && value < last[-step]) {  // [last - step, last) all after value
    last -= step;
    step *= 2;
  }
  return std::upper_bound(last - first < step ? first : last - step, last, value);
}

}  // namespace hourloom
