#include "platform/input/InactivePointerService.h"

namespace {

InactivePointerService& Inactive()
{
    static InactivePointerService service;
    return service;
}

} // namespace

PointerService& PointerService::Instance()
{
    return Inactive();
}

ScreenChangeNotifier& ScreenChangeNotifier::Instance()
{
    return Inactive();
}
