#include "duk_exec_timeout.h"

#include "platform/duktape/DukHeapBudget.h"

int ruzave_duk_exec_timeout_check(void* udata) {
    auto* budget = static_cast<platform::DukHeapBudget*>(udata);
    return budget != nullptr && budget->outOfTime() ? 1 : 0;
}
