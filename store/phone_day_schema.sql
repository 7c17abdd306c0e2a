-- Version 4: a daily limit per phone counts what each phone sent since local midnight,
-- before every row it is handed; the rows that count are found by phone and time.
CREATE INDEX recipient_phone_sent ON recipient(phone_imei, changed)
    WHERE state IN ('gönderildi', 'belirsiz');
