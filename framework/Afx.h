// The framework layer in one include: application, windows and dialogs, GDI, threads.
#pragma once

#include "framework/App.h"
#include "framework/Dialog.h"
#include "framework/Gdi.h"
#include "framework/Thread.h"
#include "framework/Types.h"
#include "framework/WinText.h"
#include "framework/Wnd.h"
