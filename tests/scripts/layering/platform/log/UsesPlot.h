#pragma once
#include <QObject>
#include "platform/plot/ViewBox.h"
