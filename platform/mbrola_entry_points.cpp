// The entry points that a usable MBROLA library exports, on every platform.
#include "platform/mbrola_backend.h"

namespace navelo {

const char* const kMbrolaEntryPoints[23] = {
    "init_MBR",           "init_rename_MBR",    "write_MBR",         "flush_MBR",
    "read_MBR",           "readtype_MBR",       "close_MBR",         "reset_MBR",
    "lastError_MBR",      "lastErrorStr_MBR",   "setNoError_MBR",    "getNoError_MBR",
    "setFreq_MBR",        "getFreq_MBR",        "setVolumeRatio_MBR", "getVolumeRatio_MBR",
    "getVersion_MBR",     "getDatabaseInfo_MBR", "setParser_MBR",    "init_Phone",
    "reset_Phone",        "close_Phone",        "appendf0_Phone"};

}  // namespace navelo
