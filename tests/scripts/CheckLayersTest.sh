#!/usr/bin/env bash
# scripts/check-layers on a small tree with five violations: it must fail and
# name exactly those five lines, and pass the repository itself.
set -u
here=$(cd "$(dirname "$0")" && pwd)
check="$here/../../scripts/check-layers"

out=$(bash "$check" "$here/layering"); rc=$?
expected="Kelvra/docks/UsesEngine.h:2: includes host/engine/HostDataEngine.h from a higher or separate layer
fxburn/UsesTavik.cpp:1: includes Tavik/Frame.h from a higher or separate layer
host/engine/UsesApp.h:3: includes host/app/MainWindow.h from a higher or separate layer
platform/base/UsesEngine.h:2: includes host/engine/HostDataEngine.h from a higher or separate layer
platform/log/UsesPlot.h:3: includes platform/plot/ViewBox.h from a higher or separate layer"
if [ $rc -ne 1 ] || [ "$out" != "$expected" ]; then
  echo "check-layers on the fixture: exit $rc, output:"; echo "$out"; exit 1
fi
bash "$check"
