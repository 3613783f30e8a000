// The timed jobs as the agent core sees them: ticked in a fixed order by the
// clock, destroyed when the engine window closes.
#pragma once

// Gives every job its turn, in this order: the subscription update, the
// stock quotes, the ad stream, the purge, the usage report.
void TickJobs();

// Destroys the job objects (the subscription update, the stock quotes, the
// ad stream, then the usage report's transfer). Harmless when they are gone.
void DestroyJobs();
