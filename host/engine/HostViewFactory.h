#pragma once
// The views the host's view containers embed: a PlaneView for "amplitude"
// and "phase", the point-cloud view for "pointcloud". Installed once at
// start-up, before any dock makes a container.

void installHostViewFactory();
