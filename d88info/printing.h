// Small helpers the report printers share.
#ifndef D88CUT_D88INFO_PRINTING_H
#define D88CUT_D88INFO_PRINTING_H

// Every list in a report is bounded by a small limit (kMaxImages,
// kTrackSlots, kMaxListedRecords, the catalogue), so its size fits an int.
template <typename List>
int countOf(const List& list)
{
    return static_cast<int>(list.size());
}

inline const char* plural(int count, const char* one, const char* many)
{
    return count == 1 ? one : many;
}

#endif
