// Dynamic array with inclusive signed bounds and checked access.
// Out-of-bounds access is error 6, bounds with upper below lower error 1,
// lack of memory error 4.
#pragma once
#include <cstdint>
#include <new>
#include <stdexcept>
#include <source_location>
#include <vector>

#include "rt/error.hpp"

namespace rt {

template <class T>
class Array {
public:
    using Loc = std::source_location;

    Array() = default;
    Array(std::int32_t lo, std::int32_t hi, Loc loc = Loc::current()) { reset(lo, hi, loc); }

    std::int32_t lbound() const { return lo_; }
    std::int32_t ubound() const { return hi_; }
    std::int64_t count() const { return static_cast<std::int64_t>(hi_) - lo_ + 1; }
    bool sized() const { return sized_; }

    // Every element empty afterwards.
    void reset(std::int32_t lo, std::int32_t hi, Loc loc = Loc::current())
    {
        check_bounds(lo, hi, loc);
        std::vector<T> fresh;
        grow_to(fresh, lo, hi, loc);
        v_.swap(fresh);
        lo_ = lo;
        hi_ = hi;
        sized_ = true;
    }

    // Keeps elements in stored order; new elements are empty.
    void resize(std::int32_t lo, std::int32_t hi, Loc loc = Loc::current())
    {
        check_bounds(lo, hi, loc);
        grow_to(v_, lo, hi, loc);
        lo_ = lo;
        hi_ = hi;
        sized_ = true;
    }

    void erase()
    {
        std::vector<T>().swap(v_);
        lo_ = 0;
        hi_ = -1;
        sized_ = false;
    }

    T& at(std::int32_t i, Loc loc = Loc::current()) { return v_[index(i, loc)]; }
    const T& at(std::int32_t i, Loc loc = Loc::current()) const { return v_[index(i, loc)]; }

private:
    static void check_bounds(std::int32_t lo, std::int32_t hi, Loc loc)
    {
        if (hi < lo)
            fail(1, loc);
    }

    static void grow_to(std::vector<T>& v, std::int32_t lo, std::int32_t hi, Loc loc)
    {
        auto n = static_cast<std::size_t>(static_cast<std::int64_t>(hi) - lo + 1);
        try {
            v.resize(n);
        } catch (const std::bad_alloc&) {
            fail(4, loc);
        } catch (const std::length_error&) {
            fail(4, loc);
        }
    }

    std::size_t index(std::int32_t i, Loc loc) const
    {
        if (!sized_ || i < lo_ || i > hi_)
            fail(6, loc);
        return static_cast<std::size_t>(static_cast<std::int64_t>(i) - lo_);
    }

    std::vector<T> v_;
    std::int32_t lo_ = 0;
    std::int32_t hi_ = -1;
    bool sized_ = false;
};

} // namespace rt
