#pragma once
// The loop over the files of a run, with the copy check's outcomes taken
// back on the run's thread: every file of the run ends in exactly one count
// of job.Tally, with its failure line in file order, whatever ends the run.
#include "import/ImportUi.h"

// Copies ImportJob()'s files to their targets. verify is the setting as
// the run took it when it started; the run's history, when it has one,
// keeps known files from being copied again.
void CopyFilesOfRun(IImportUi& ui, bool verify);
