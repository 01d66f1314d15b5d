// Module explorer: search, copy and removal over whole dynamic arrays.
// Out-of-bounds reads (6), negative lower bounds in a copy (1) and lack of
// memory (4) end the program through rt::Array's checked operations.
#include "inc/explorer_arrays.hpp"

#include <memory>

#include "rt/error.hpp"
#include "rt/search.hpp"

namespace explorer {
namespace {

template <class T>
void copy_array(const rt::Array<T>& source_array, rt::Array<T>& target_array)
{
    // Copying an array onto itself must not lose it to the reset below.
    std::unique_ptr<rt::Array<T>> own;
    const rt::Array<T>* source = &source_array;
    if (source == &target_array) {
        own = std::make_unique<rt::Array<T>>(source_array);
        source = own.get();
    }
    target_array.reset(0, 0);
    if (!source->sized())
        return;
    for (std::int64_t i = source->lbound(); i <= source->ubound(); ++i) {
        auto at = static_cast<std::int32_t>(i);
        // A negative lower bound stops here with error 1.
        target_array.resize(0, at);
        target_array.at(at) = source->at(at);
    }
}

template <class T>
std::int8_t kill_element(rt::Array<T>& items, std::int32_t index,
                         void (*copy)(const rt::Array<T>&, rt::Array<T>&))
{
    if (!items.sized() || !(index > items.lbound() && index < items.ubound()))
        return 0;
    rt::Array<T> temp;
    copy(items, temp);
    items.reset(0, 0);
    for (std::int64_t i = 0; i <= temp.ubound(); ++i) {
        if (i == index)
            continue;
        std::int32_t top = items.ubound() + 1;
        items.resize(0, top);
        items.at(top) = std::move(temp.at(static_cast<std::int32_t>(i)));
    }
    return 1;
}

} // namespace

std::int32_t INARARRY(std::int32_t from_index, const rt::Array<std::string>& items, const std::string& pattern,
                      std::int32_t start, std::int32_t& position, std::int32_t to_index)
{
    RT_PROC("explorer", "INARARRY");
    if (pattern.empty())
        return -1;
    if (from_index == WHOLE_RANGE || from_index > items.ubound())
        from_index = items.lbound();
    if (to_index > items.ubound() || to_index == WHOLE_RANGE)
        to_index = items.ubound();
    for (std::int64_t i = from_index; i <= to_index; ++i) {
        const std::string& item = items.at(static_cast<std::int32_t>(i));
        // A corrected start stays in force for the elements after this one.
        if (start < 1 || static_cast<std::int64_t>(start) > static_cast<std::int64_t>(item.size()))
            start = 1;
        std::int64_t p = rt::find_from(item, pattern, start);
        if (p != 0) {
            position = static_cast<std::int32_t>(p);
            return static_cast<std::int32_t>(i);
        }
    }
    return 0;
}

void COPY_STRING_ARARRY(const rt::Array<std::string>& source_array, rt::Array<std::string>& target_array)
{
    RT_PROC("explorer", "COPY_STRING_ARARRY");
    copy_array(source_array, target_array);
}

void COPY_INTEGER_ARARRY(const rt::Array<std::int32_t>& source_array, rt::Array<std::int32_t>& target_array)
{
    RT_PROC("explorer", "COPY_INTEGER_ARARRY");
    copy_array(source_array, target_array);
}

std::int8_t KILL_S_ARARRY(rt::Array<std::string>& items, std::int32_t index)
{
    RT_PROC("explorer", "KILL_S_ARARRY");
    return kill_element(items, index, COPY_STRING_ARARRY);
}

std::int8_t KILL_I_ARARRY(rt::Array<std::int32_t>& items, std::int32_t index)
{
    RT_PROC("explorer", "KILL_I_ARARRY");
    return kill_element(items, index, COPY_INTEGER_ARARRY);
}

} // namespace explorer
