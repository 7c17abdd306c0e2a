-- Version 3: delivery reports. Times are seconds since 1970 (UTC); texts UTF-8.

-- Every report the phone handed over, as received: readable or not, paired or not.
CREATE TABLE delivery_report (
    id INTEGER PRIMARY KEY,
    raw_pdu TEXT NOT NULL,               -- upper-case hexadecimal, as read
    tpdu_length INTEGER NOT NULL,        -- the length given with it; -1 when none
    received INTEGER NOT NULL,
    phone_imei TEXT NOT NULL DEFAULT '', -- the phone it came from; empty when not known
    -- Decoded; all NULL when the report could not be read.
    reference INTEGER,                   -- TP-MR
    number TEXT,                         -- TP-RA as sent ('+' in front when international)
    number_key TEXT,                     -- the same in the compared form
    status INTEGER,                      -- TP-ST
    centre_time INTEGER,                 -- TP-SCTS in UTC
    discharge_time INTEGER,              -- TP-DT in UTC
    discharge_text TEXT,                 -- TP-DT with its zone, ISO 8601
    problem TEXT NOT NULL DEFAULT '',    -- why it could not be read
    -- The part it was paired with; NULL when none matched.
    part_recipient INTEGER REFERENCES recipient(id),
    part_seq INTEGER,
    -- A report read again (stored in the phone, not yet deleted there) is kept once.
    UNIQUE (raw_pdu, phone_imei)
);
CREATE INDEX delivery_report_part ON delivery_report(part_recipient, part_seq)
    WHERE part_recipient IS NOT NULL;

-- Per part, what its latest report said: 0 delivered, 1 still trying, 2 failed for good.
ALTER TABLE part ADD COLUMN delivery_class INTEGER;
ALTER TABLE part ADD COLUMN delivery_meaning TEXT;   -- the status code's meaning, Turkish
-- Pairing looks a report up by its message reference among the recent parts.
CREATE INDEX part_reference ON part(reference, submitted) WHERE reference IS NOT NULL;

-- Numbers in the compared forms of this version: a list entry "0532 123 45 67" is
-- "905321234567" as a report gives it; a listed or replying number is "5321234567".
UPDATE recipient SET normalised = normalise_number(entry);
UPDATE OR REPLACE opt_out SET number = opt_out_key(number);
UPDATE message SET sender_number = opt_out_key(sender_number) WHERE sender_number <> '';
UPDATE message_part SET sender_number = opt_out_key(sender_number) WHERE sender_number <> '';
