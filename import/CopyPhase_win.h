#pragma once
// The loop over the files of a run, with the copy check's outcomes taken
// back on the run's thread: every file of the run ends in exactly one count
// of job.Tally, with its failure line in file order, whatever ends the run.
#include "import/ImportUi.h"

// Copies ImportJob()'s files to their targets. verify and skipImported are
// the settings as the run took them when it started.
void CopyFilesOfRun(IImportUi& ui, bool verify, bool skipImported);
