#include "settings/Settings.h"

TSettings& Settings() {
    static TSettings settings;
    return settings;
}
