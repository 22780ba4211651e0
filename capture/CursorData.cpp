#include "capture/CursorData.h"

void FillCursorData(BMessage* cursorData, const BMessage& event, uint32 rgb, double column, double columns,
    double row, double rows)
{
    cursorData->AddFloat("red", float(((rgb >> 16) & 0xff) / 255.0L));
    cursorData->AddFloat("green", float(((rgb >> 8) & 0xff) / 255.0L));
    cursorData->AddFloat("blue", float((rgb & 0xff) / 255.0L));
    cursorData->AddFloat("x", columns > 0 ? float(column / (long double)columns) : 0.0f);
    cursorData->AddFloat("y", rows > 0 ? float(row / (long double)rows) : 0.0f);
    cursorData->AddFloat("pressure", event.FindFloat("be:tablet_pressure"));
    cursorData->AddBool("eraser", event.FindBool("be:tablet_eraser"));
    cursorData->AddInt32("mouseb", event.FindInt32("buttons"));
}
