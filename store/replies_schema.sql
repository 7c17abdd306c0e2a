-- Version 2: the messages customers send back, and the numbers that asked not to be
-- texted again. Times are seconds since 1970 (UTC); texts UTF-8.

-- "Ret Listesi": a number here is never texted. Kept in the form numbers are compared in.
CREATE TABLE opt_out (
    number TEXT PRIMARY KEY,
    added INTEGER NOT NULL,
    reason TEXT NOT NULL CHECK (reason IN ('yanıt', 'elle', 'içe aktarma')),
    message INTEGER REFERENCES message(id) ON DELETE SET NULL  -- the reply that asked
);

-- A received message, whole (or given up on after a day with parts missing), or one that
-- could not be read, kept with its PDU.
CREATE TABLE message (
    id INTEGER PRIMARY KEY,
    sender TEXT NOT NULL,                -- digits with '+' in front, or a sender name
    sender_number TEXT NOT NULL,         -- the form the opt-out list keeps; empty for a name
    sent TEXT NOT NULL DEFAULT '',       -- the centre's time stamp with its zone, ISO 8601
    sort_time INTEGER NOT NULL,          -- the same in UTC, or when received if unreadable
    received INTEGER NOT NULL,
    text TEXT NOT NULL,
    is_read INTEGER NOT NULL DEFAULT 0,
    incomplete INTEGER NOT NULL DEFAULT 0,  -- parts still missing after a day
    raw_pdu TEXT,                        -- only for a message that could not be read
    problem TEXT NOT NULL DEFAULT ''     -- why it could not be read
);
CREATE INDEX message_newest ON message(sort_time DESC, id DESC);
CREATE INDEX message_unread ON message(id) WHERE is_read = 0;

-- Parts of a long message until the last one comes, each kept once.
CREATE TABLE message_part (
    sender TEXT NOT NULL,
    reference INTEGER NOT NULL,
    total INTEGER NOT NULL,
    sequence INTEGER NOT NULL,
    sender_number TEXT NOT NULL,
    sent TEXT NOT NULL,
    sort_time INTEGER NOT NULL,
    received INTEGER NOT NULL,
    text_utf16 TEXT NOT NULL,            -- hex of the UTF-16 units: a part may end in half a pair
    PRIMARY KEY (sender, reference, total, sequence)
) WITHOUT ROWID;

-- Every PDU already taken in, so that one read again after a crash (stored, not yet
-- deleted from the phone) is not taken twice. Forgotten after a week.
CREATE TABLE received_pdu (
    pdu TEXT PRIMARY KEY,
    received INTEGER NOT NULL,
    message INTEGER                      -- NULL while its long message waits for parts
) WITHOUT ROWID;

-- Which campaign a sender was texted by.
CREATE INDEX recipient_number ON recipient(normalised);
