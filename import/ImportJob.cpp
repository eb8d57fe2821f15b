#include "import/ImportJob.h"

TImportJob& ImportJob() {
    static TImportJob job;
    return job;
}
