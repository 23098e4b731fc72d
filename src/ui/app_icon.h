#pragma once

#include <QIcon>

// The program's icon, for the window and the tray, drawn so that no resource file is needed.
QIcon programIcon();
