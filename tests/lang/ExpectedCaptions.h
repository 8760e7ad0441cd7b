// A second copy of the caption table, kept apart from the program's own on
// purpose: each entry with the way to read it back from its control.
#pragma once

#include "Unit1.h"

#include <QString>

#include <array>
#include <vector>

struct Expected {
    int number;
    QString (*read)(); // the entry's property, read from its control
    const char *russian;
    const char *ukrainian;
    const char *english;

    QString In(TLanguage language) const;
};

const std::vector<Expected> &ExpectedTable();

inline constexpr std::array<TLanguage, 3> languages = {lgRussian, lgUkrainian, lgEnglish};
const char *NameOf(TLanguage language);

// Compares entries first..last (1-based) with the given language's column.
void ExpectEntriesIn(TLanguage language, int first, int last);
