// Stand-ins for the pipeline steps and services whose modules have not
// landed yet. Each declines the edit or does nothing, so the pipeline runs
// as with the step switched off. A module that implements one of these
// deletes its stand-in here.
#include "smart_string_steps.h"

#include <cstring>
