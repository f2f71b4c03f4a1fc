// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

struct CliEnvironment;
struct Module;
class AppList;
class Router;

// "check [NAME...]": the named applications, or those last pointed, port by port in words.
// Completed when every port is forwarded and taken by a program here, Error otherwise.
int RunCheck(Router& router, Module& module, AppList& list, const QStringList& names,
             CliEnvironment& env);

// After "point": the selected applications' ports in the same words, without asking the router
// again about the forwards it has just granted.
// Where `[Misc] LocalFirewall=open`, the ports this computer's firewall blocks are opened
// first.
void PrintPortCheck(Router& router, Module& module, AppList& list, CliEnvironment& env);
