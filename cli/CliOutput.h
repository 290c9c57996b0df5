// The console client's writers and forms are the client core's record output
// (RecordOutput.h), which the window's recordings share; these are their names here.
#pragma once
#include "RecordOutput.h"

using CCliWriter = CLineWriter;
using CliFormat = RecordFormat;
using CliColumn = RecordColumn;
