// The engine as a loadable module: its one exported symbol hands out the table of the engine's
// calls (every other symbol stays local, so the program's forwarding functions of the same names
// never stand in for the engine's own).

#include "engineapi.h"

extern "C" __attribute__((visibility("default"))) const TunoraEngineTable *tunora_engine_table()
{
#define TUNORA_ENGINE_POINTER(ret, name, params, args, failed) &::name,
    static const TunoraEngineTable table{TunoraEngineFunctionCount,
                                         TUNORA_ENGINE_FUNCTIONS(TUNORA_ENGINE_POINTER)};
#undef TUNORA_ENGINE_POINTER
    return &table;
}
