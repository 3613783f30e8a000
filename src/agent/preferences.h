// The data side of the preferences dialog: filling the exchange record from
// the shared record and the database, and taking the user's changes back.
#pragma once

#include "shared/config_exchange.h"
#include "shared/config_data.h"

// Fills the record: the settings, the agent's install folder, every topic's record in the database's
// order, the stock-quote topic's symbols, the display settings.
void FillExchange(const CConfigData& cfg, ConfigExchange& exchange);

// Takes back what the user confirmed, in this order: the proxy, the browser
// (its DDE service follows a changed path), the display preference and the
// pace (with the process priority), then each topic's switch, the stock-
// quote topic rebuilt from the symbols. The display settings and the save
// are the caller's.
void ApplyExchange(const ConfigExchange& exchange, CConfigData& cfg);
