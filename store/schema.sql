-- The program's database, version 1. Times are seconds since 1970 (UTC); texts UTF-8.

-- A bulk run: its text and options as they were when it started.
CREATE TABLE campaign (
    id INTEGER PRIMARY KEY,
    started INTEGER NOT NULL,
    text TEXT NOT NULL,
    turkish_tables INTEGER NOT NULL DEFAULT 0,
    pause_seconds INTEGER NOT NULL DEFAULT 30,
    reports_requested INTEGER NOT NULL DEFAULT 0,
    -- The campaign whose failed (and perhaps uncertain) rows this one sends again.
    resend_of INTEGER REFERENCES campaign(id)
);

-- One row per entry of the list as it stood; its state changes are committed before the
-- program acts on them.
CREATE TABLE recipient (
    id INTEGER PRIMARY KEY,
    campaign INTEGER NOT NULL REFERENCES campaign(id),
    position INTEGER NOT NULL,          -- in the list, from 0
    entry TEXT NOT NULL,                -- as listed
    normalised TEXT NOT NULL,           -- the form numbers are compared in
    state TEXT NOT NULL DEFAULT 'sırada'
        CHECK (state IN ('sırada', 'gönderiliyor', 'gönderildi', 'başarısız', 'belirsiz', 'atlandı')),
    changed INTEGER NOT NULL,
    error TEXT NOT NULL DEFAULT '',
    phone_imei TEXT NOT NULL DEFAULT '',  -- the phone that served it
    phone_port TEXT NOT NULL DEFAULT '',
    UNIQUE (campaign, position)
);
-- The rows still to serve, in order. Partial, so that a row's later changes of state
-- cost this index nothing.
CREATE INDEX recipient_queued ON recipient(campaign, position) WHERE state = 'sırada';

-- One row per part of a message the phone accepted or was given; delivery reports
-- attach here.
CREATE TABLE part (
    recipient INTEGER NOT NULL REFERENCES recipient(id),
    seq INTEGER NOT NULL,                -- from 0
    reference INTEGER,                   -- TP-MR from +CMGS: n; NULL when none came
    submitted INTEGER NOT NULL,
    delivery_status INTEGER,             -- TP-ST of the latest report; NULL before one
    delivery_time INTEGER,               -- its discharge time
    PRIMARY KEY (recipient, seq)
) WITHOUT ROWID;
