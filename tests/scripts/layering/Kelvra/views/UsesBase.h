#pragma once
#include "platform/base/DataView.h"
#include "Tavik/Frame.h"
#include <QWidget>
