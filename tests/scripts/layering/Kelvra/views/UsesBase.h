#pragma once
#include "host/base/DataView.h"
#include "Tavik/Frame.h"
#include <QWidget>
