// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether Harborly opens this computer's firewall for the ports it forwards: `[Misc]
// LocalFirewall` says ask (the default: the window asks once), open or leave (never touched).

#include "router/check/PortCheck.h"

#include <QList>
#include <QString>

class Prompts;
class Router;

enum class FirewallChoice { Ask, Open, Leave };

FirewallChoice FirewallChoiceFor(const QString& iniPath);
// "ask", "open", "leave"; anything else reads as ask.
FirewallChoice ParseFirewallChoice(const QString& value);

// The ports the firewall blocks, or may block, and Harborly could open.
QList<PortCheck> BlockedHere(const QList<PortCheck>& checks);
// The question, naming the ports, the firewall and the zone.
QString FirewallQuestion(const QList<PortCheck>& blocked);
QStringList FirewallButtons();

// After Point To Me: opens what the firewall blocks where the setting says open, or where it
// says ask and `asker` (the window; none on the command line) gets the user's yes; "Never
// ask" writes leave. The checks' firewall views are read again after an opening. True when
// something was opened.
bool OfferFirewallOpening(Router& router, QList<PortCheck>& checks, const QString& iniPath,
                          Prompts* asker);
