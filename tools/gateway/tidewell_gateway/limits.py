"""What the agent holds, in bytes without the terminator, and what it accepts.

Copied by hand from the agent's record layouts (src/shared/records.h) and its
subscription-file reader (src/jobs/config_file.cpp): the topic's text fields
are read with one byte less than their arrays hold, so they keep two bytes
less than the array's size. A test reads those sources and checks every
number here.
"""

TOPIC_TITLE_BYTES = 198  # TopicRecord::Title[200]
HINT_BYTES = 98  # TopicRecord::Hint[100]
TOPIC_URL_BYTES = 1022  # TopicRecord::HomepageUrl[1024]
HEADLINE_BYTES = 199  # MsgRecord::Title[200]
LINK_BYTES = 1023  # kMsgUrlMax
MSG_VALUE_BYTES = 1223  # kMessageValueSize, 1224 with the terminator
SCHEDULE_MINUTES = (5, 999)  # the only intervals the agent takes

MAX_ITEMS = 100  # items kept from one feed document, the newest
