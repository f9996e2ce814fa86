#pragma once

#include <cstddef>
#include <string>

#include "champ/championship_file.h"

// The championship save slots: files in ".\menu\save\" named "f<n>.<ext>".

inline constexpr const char* kSaveFolder = ".\\menu\\save\\";

// ".\menu\save\" followed by the name.
std::string MakeSavePath(const char* name);

// ".\menu\save\*.<ext>".
std::string MakeSaveSearchPattern(const char* extension);

// The number of files that the pattern of the extension finds.
int CountSaveFiles(const char* extension);

// index >= 0: the name of the index-th file the pattern finds (by name),
// empty when there are fewer. index -1: "f<n>.<ext>" for the first n,
// counting from 0, whose file in ".\menu\save\" does not open.
std::string MakeNewSaveName(int index, const char* extension);

// Copies a save name into a 260-byte name field (at most 259 characters).
void CopySaveName(char (&field)[260], const char* name);

// Reads the header of the save named `name` in ".\menu\save\". False when
// the file is missing, and when it is not a whole, sound save (`error`,
// when given, says why; the file is left alone).
bool LoadSavedRecord(const char* name, SaveHeader& header, std::string* error = nullptr);
