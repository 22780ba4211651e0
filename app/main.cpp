#include "app/zbApp.h"

int main()
{
    zbApp app;
    app.Run();
    return 0;
}
